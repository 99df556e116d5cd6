#include "bundle/tests/in_engine_support.h"

#include <windows.h>
// <windows.h> names DrawTextW DrawText; the canvas's own DrawText is meant here.
#undef DrawText

#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "bundle/sample/bitmap_font.h"
#include "bundle/sample/canvas.h"

namespace bundle_test {

bool PumpUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

std::unique_ptr<vela::VelaViewController> StartEngine(const std::string& data_folder,
                                                      std::vector<std::string> arguments, int width,
                                                      int height) {
  // The folders are ASCII paths of the build tree.
  vela::EngineProject project(std::wstring(data_folder.begin(), data_folder.end()));
  project.entrypoint_arguments = std::move(arguments);
  auto controller = std::make_unique<vela::VelaViewController>(width, height, project);
  if (controller->engine() == nullptr || controller->view() == nullptr) return nullptr;
  return controller;
}

bool FrameShowsText(const std::vector<uint8_t>& pixels, uint32_t width, std::string_view text,
                    int scale) {
  if (width == 0 || text.empty()) return false;
  const uint32_t height = static_cast<uint32_t>(pixels.size() / 4 / width);
  // The text drawn alone gives the mask of its lit pixels.
  using tervala_bundle::BitmapFont;
  tervala_bundle::Canvas mask(static_cast<uint32_t>(text.size() * BitmapFont::kCellWidth * scale),
                              static_cast<uint32_t>(BitmapFont::kGlyphHeight * scale), {});
  mask.DrawText(0, 0, text, scale, {255, 255, 255});
  if (mask.width() > width || mask.height() > height) return false;
  std::vector<std::pair<uint32_t, uint32_t>> lit;
  std::vector<std::pair<uint32_t, uint32_t>> unlit;
  for (uint32_t y = 0; y < mask.height(); ++y) {
    for (uint32_t x = 0; x < mask.width(); ++x) {
      (mask.At(x, y).red != 0 ? lit : unlit).emplace_back(x, y);
    }
  }
  if (lit.empty()) return false;
  auto at = [&](uint32_t x, uint32_t y) {
    return &pixels[(static_cast<size_t>(y) * width + x) * 4];
  };
  // At each place, every lit pixel has the colour of the first and no unlit one has it.
  for (uint32_t top = 0; top + mask.height() <= height; ++top) {
    for (uint32_t left = 0; left + mask.width() <= width; ++left) {
      const uint8_t* ink = at(left + lit[0].first, top + lit[0].second);
      auto is_ink = [&](const std::pair<uint32_t, uint32_t>& p) {
        return std::memcmp(at(left + p.first, top + p.second), ink, 3) == 0;
      };
      // An unlit pixel first: in a plain area every lit pixel would match.
      if (!unlit.empty() && is_ink(unlit[unlit.size() / 2])) continue;
      bool found = true;
      for (const auto& p : lit) {
        if (!is_ink(p)) {
          found = false;
          break;
        }
      }
      if (!found) continue;
      for (const auto& p : unlit) {
        if (is_ink(p)) {
          found = false;
          break;
        }
      }
      if (found) return true;
    }
  }
  return false;
}

}  // namespace bundle_test
