#include "platform/engine/src/frame_dump.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace vela_engine {

void DumpFrame(const Frame& frame) {
  static const char* const path = std::getenv("VELA_FRAME_DUMP");
  if (path == nullptr || path[0] == '\0') return;
  const size_t pixels = static_cast<size_t>(frame.width) * frame.height;
  if (frame.pixels.size() < pixels * 4) return;
  const std::string temporary = std::string(path) + ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << "P6\n" << frame.width << ' ' << frame.height << "\n255\n";
    std::string rgb(pixels * 3, '\0');
    for (size_t i = 0; i < pixels; ++i) {
      rgb[i * 3] = static_cast<char>(frame.pixels[i * 4]);
      rgb[i * 3 + 1] = static_cast<char>(frame.pixels[i * 4 + 1]);
      rgb[i * 3 + 2] = static_cast<char>(frame.pixels[i * 4 + 2]);
    }
    out.write(rgb.data(), static_cast<std::streamsize>(rgb.size()));
    if (!out) return;
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
}

}  // namespace vela_engine
