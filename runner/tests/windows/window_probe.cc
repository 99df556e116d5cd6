// Drives tervala_app's window from outside the process, for the checks of the Windows build:
//   window_probe wait SECONDS          waits until the window is visible; prints its client size
//   window_probe match FRAME OUT SECONDS
//                                      waits until the window's client area on the screen shows
//                                      exactly the frame in FRAME (a binary PPM, as the engine
//                                      writes with VELA_FRAME_DUMP); writes the screen to OUT
//   window_probe close                 asks the window to close (WM_CLOSE)
// Exit status 0 on success, 1 on a failed check or time-out, 2 on bad usage.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// An RGB image.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;
};

HWND FindVisibleWindow() {
  HWND window = FindWindowW(L"VELA_RUNNER_WIN32_WINDOW", nullptr);
  return window != nullptr && IsWindowVisible(window) ? window : nullptr;
}

HWND WaitForWindow(int seconds) {
  const auto deadline = Clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    if (HWND window = FindVisibleWindow()) return window;
    if (Clock::now() > deadline) return nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

std::optional<Image> ReadPpm(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  Image image;
  int max_value = 0;
  if (!(in >> magic >> image.width >> image.height >> max_value) || magic != "P6" ||
      max_value != 255 || image.width <= 0 || image.height <= 0) {
    return std::nullopt;
  }
  in.get();  // the one blank after the header
  image.rgb.resize(static_cast<size_t>(image.width) * image.height * 3);
  if (!in.read(reinterpret_cast<char*>(image.rgb.data()),
               static_cast<std::streamsize>(image.rgb.size()))) {
    return std::nullopt;
  }
  return image;
}

bool WritePpm(const Image& image, const char* path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "P6\n" << image.width << ' ' << image.height << "\n255\n";
  out.write(reinterpret_cast<const char*>(image.rgb.data()),
            static_cast<std::streamsize>(image.rgb.size()));
  return static_cast<bool>(out);
}

// The window's client area as the screen shows it.
std::optional<Image> CaptureClientArea(HWND window) {
  RECT client{};
  if (!GetClientRect(window, &client)) return std::nullopt;
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  Image image;
  image.width = client.right - client.left;
  image.height = client.bottom - client.top;
  if (image.width <= 0 || image.height <= 0) return std::nullopt;

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = image.width;
  info.bmiHeader.biHeight = -image.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool copied = false;
  if (bitmap != nullptr) {
    HGDIOBJ previous = SelectObject(memory, bitmap);
    copied =
        BitBlt(memory, 0, 0, image.width, image.height, screen, origin.x, origin.y, SRCCOPY) != 0;
    GdiFlush();
    if (copied) {
      const auto* bgra = static_cast<const unsigned char*>(bits);
      const size_t pixels = static_cast<size_t>(image.width) * image.height;
      image.rgb.resize(pixels * 3);
      for (size_t i = 0; i < pixels; ++i) {
        image.rgb[i * 3] = bgra[i * 4 + 2];
        image.rgb[i * 3 + 1] = bgra[i * 4 + 1];
        image.rgb[i * 3 + 2] = bgra[i * 4];
      }
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!copied) return std::nullopt;
  return image;
}

size_t DifferingPixels(const Image& a, const Image& b) {
  if (a.width != b.width || a.height != b.height) return static_cast<size_t>(-1);
  size_t differing = 0;
  for (size_t i = 0; i < a.rgb.size(); i += 3) {
    if (a.rgb[i] != b.rgb[i] || a.rgb[i + 1] != b.rgb[i + 1] || a.rgb[i + 2] != b.rgb[i + 2]) {
      ++differing;
    }
  }
  return differing;
}

int Wait(int seconds) {
  HWND window = WaitForWindow(seconds);
  if (window == nullptr) {
    std::fprintf(stderr, "window_probe: no visible Tervala window within %d s\n", seconds);
    return 1;
  }
  RECT client{};
  GetClientRect(window, &client);
  std::printf("%ld %ld\n", client.right - client.left, client.bottom - client.top);
  return 0;
}

int Match(const char* frame_path, const char* out_path, int seconds) {
  const auto deadline = Clock::now() + std::chrono::seconds(seconds);
  HWND window = WaitForWindow(seconds);
  if (window == nullptr) {
    std::fprintf(stderr, "window_probe: no visible Tervala window within %d s\n", seconds);
    return 1;
  }
  // The application draws a few frames as its answers come in: wait for the screen to
  // show the latest one. Under Wine the screen was seen to keep an older frame now and then
  // until something repainted the window; from half time on the probe asks for a repaint
  // (the frame is painted from the view's current contents, so this still checks what the
  // application drew) and says so.
  const auto nudge_from = Clock::now() + std::chrono::seconds(seconds) / 2;
  bool nudged = false;
  std::optional<Image> screen;
  std::optional<Image> frame;
  for (;;) {
    frame = ReadPpm(frame_path);
    screen = CaptureClientArea(window);
    if (frame && screen && DifferingPixels(*frame, *screen) == 0) break;
    if (Clock::now() > nudge_from) {
      if (!nudged) std::printf("window_probe: the screen lags the frame; repainting the window\n");
      nudged = true;
      RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
    }
    if (Clock::now() > deadline) {
      if (screen) WritePpm(*screen, out_path);
      if (!frame) {
        std::fprintf(stderr, "window_probe: no frame in %s\n", frame_path);
      } else if (!screen) {
        std::fprintf(stderr, "window_probe: the screen could not be read\n");
      } else {
        std::fprintf(stderr,
                     "window_probe: the screen (%d x %d) differs from the frame (%d x %d) in "
                     "%zu pixels; see %s\n",
                     screen->width, screen->height, frame->width, frame->height,
                     DifferingPixels(*frame, *screen), out_path);
      }
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  if (!WritePpm(*screen, out_path)) return 1;
  std::printf("the screen shows the frame: %d x %d pixels\n", screen->width, screen->height);
  return 0;
}

int Close() {
  HWND window = FindWindowW(L"VELA_RUNNER_WIN32_WINDOW", nullptr);
  if (window == nullptr || !PostMessageW(window, WM_CLOSE, 0, 0)) {
    std::fprintf(stderr, "window_probe: no Tervala window to close\n");
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "wait" && argc == 3) return Wait(std::atoi(argv[2]));
  if (command == "match" && argc == 5) return Match(argv[2], argv[3], std::atoi(argv[4]));
  if (command == "close" && argc == 2) return Close();
  std::fprintf(stderr, "usage: window_probe wait SECONDS | match FRAME OUT SECONDS | close\n");
  return 2;
}
