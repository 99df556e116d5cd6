// An RGBA pixel buffer that the bundles draw their frames into: filled rectangles and text in
// the bitmap font, clipped to the buffer.
#ifndef TERVALA_BUNDLE_SAMPLE_CANVAS_H_
#define TERVALA_BUNDLE_SAMPLE_CANVAS_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tervala_bundle {

// An opaque colour.
struct Color {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
};

// Rows of RGBA pixels without padding, top row first.
class Canvas {
 public:
  // The largest side the engine accepts; larger canvases are cut to it.
  static constexpr uint32_t kMaxSide = 16384;

  Canvas(uint32_t width, uint32_t height, Color background);

  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }
  const uint8_t* pixels() const { return pixels_.data(); }
  size_t row_bytes() const { return static_cast<size_t>(width_) * 4; }

  // The colour at (x, y); black outside the canvas.
  Color At(int64_t x, int64_t y) const;

  // Fills the rectangle, clipped to the canvas.
  void FillRect(int64_t x, int64_t y, int64_t width, int64_t height, Color color);

  // Draws `text` with its top left corner at (x, y), each font pixel `scale` pixels square;
  // returns the x just after the last character. Characters past the canvas are clipped.
  int64_t DrawText(int64_t x, int64_t y, std::string_view text, int scale, Color color);

 private:
  uint32_t width_;
  uint32_t height_;
  std::vector<uint8_t> pixels_;
};

// The font scale for a DPI: two font pixels per character pixel at 96 DPI, growing with it.
int TextScaleForDpi(uint32_t dpi);

}  // namespace tervala_bundle

#endif  // TERVALA_BUNDLE_SAMPLE_CANVAS_H_
