#include "bundle/sample/canvas.h"

#include <algorithm>
#include <cstring>

#include "bundle/sample/bitmap_font.h"

namespace tervala_bundle {

Canvas::Canvas(uint32_t width, uint32_t height, Color background)
    : width_(std::min(width, kMaxSide)), height_(std::min(height, kMaxSide)) {
  pixels_.resize(static_cast<size_t>(width_) * height_ * 4);
  FillRect(0, 0, width_, height_, background);
}

Color Canvas::At(int64_t x, int64_t y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return Color{};
  const uint8_t* pixel = &pixels_[(static_cast<size_t>(y) * width_ + static_cast<size_t>(x)) * 4];
  return Color{pixel[0], pixel[1], pixel[2]};
}

void Canvas::FillRect(int64_t x, int64_t y, int64_t width, int64_t height, Color color) {
  const int64_t left = std::max<int64_t>(x, 0);
  const int64_t top = std::max<int64_t>(y, 0);
  const int64_t right = std::min<int64_t>(x + width, width_);
  const int64_t bottom = std::min<int64_t>(y + height, height_);
  if (left >= right || top >= bottom) return;
  // The first row pixel by pixel, the others copied from it.
  const size_t span = static_cast<size_t>(right - left) * 4;
  uint8_t* first = &pixels_[(static_cast<size_t>(top) * width_ + static_cast<size_t>(left)) * 4];
  for (size_t i = 0; i < span; i += 4) {
    first[i] = color.red;
    first[i + 1] = color.green;
    first[i + 2] = color.blue;
    first[i + 3] = 255;
  }
  for (int64_t row = top + 1; row < bottom; ++row) {
    std::memcpy(first + static_cast<size_t>(row - top) * row_bytes(), first, span);
  }
}

int64_t Canvas::DrawText(int64_t x, int64_t y, std::string_view text, int scale, Color color) {
  scale = std::max(scale, 1);
  const int64_t advance = static_cast<int64_t>(BitmapFont::kCellWidth) * scale;
  for (char character : text) {
    // Characters wholly outside the canvas only advance.
    if (x < width_ && x + advance > 0 && y < height_ && y + BitmapFont::kCellHeight * scale > 0) {
      for (int row = 0; row < BitmapFont::kGlyphHeight; ++row) {
        for (int column = 0; column < BitmapFont::kGlyphWidth; ++column) {
          if (BitmapFont::Pixel(character, column, row)) {
            FillRect(x + column * scale, y + row * scale, scale, scale, color);
          }
        }
      }
    }
    x += advance;
  }
  return x;
}

int TextScaleForDpi(uint32_t dpi) {
  if (dpi == 0) dpi = 96;
  // Rounded to the nearest whole scale, so 144 DPI (150 %) gives 3.
  return std::clamp(static_cast<int>((dpi * 2 + 48) / 96), 1, 64);
}

}  // namespace tervala_bundle
