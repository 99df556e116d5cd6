// Drives tervala_app's window from outside the process, for the checks of the Windows build:
//   window_probe wait SECONDS          waits until the window is visible; prints its client size
//   window_probe match FRAME OUT SECONDS
//                                      waits until the window's client area on the screen shows
//                                      exactly the frame in FRAME (a binary PPM, as the engine
//                                      writes with VELA_FRAME_DUMP); writes the screen to OUT
//   window_probe close                 asks the window to close (WM_CLOSE)
//   window_probe click LABEL           clicks the sample application's control LABEL ("Create
//                                      app", or "type an app name" for the name field), found
//                                      where the sample lays it out for the window's size and DPI
//   window_probe type TEXT             types TEXT
//   window_probe key escape|tab|enter  presses and releases the key
//   window_probe settled OUT SECONDS   waits until the client area stops changing; writes it
//   window_probe changed BEFORE OUT SECONDS
//                                      waits until the settled client area differs from the
//                                      PPM BEFORE; writes it to OUT
// Clicks and keys go through SendInput, the way the user's own input reaches a window.
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

#include "bundle/sample/control_panel.h"
#include "bundle/sample/sample_view.h"

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

// Sends the inputs; false when Windows took fewer of them.
bool Send(std::vector<INPUT> inputs) {
  return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

INPUT MouseInput(DWORD flags) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flags;
  return input;
}

INPUT KeyInput(WORD key, WORD scan, DWORD flags) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.wScan = scan;
  input.ki.dwFlags = flags;
  return input;
}

// Gives the input time to be handled before the next action: the application draws each.
void Pause() { std::this_thread::sleep_for(std::chrono::milliseconds(150)); }

int Click(const std::string& label) {
  HWND window = WaitForWindow(30);
  if (window == nullptr) {
    std::fprintf(stderr, "window_probe: no visible Tervala window\n");
    return 1;
  }
  RECT client{};
  GetClientRect(window, &client);
  UINT dpi = GetDpiForWindow(window);
  tervala_bundle::ControlPanel panel = tervala_bundle::MakeSamplePanel();
  tervala_bundle::LayOutSamplePanel(panel, static_cast<uint32_t>(client.right - client.left),
                                    dpi == 0 ? 96 : dpi);
  const tervala_bundle::ControlPanel::Control* control = nullptr;
  for (const auto& candidate : panel.controls()) {
    if (candidate.label == label) control = &candidate;
  }
  if (control == nullptr) {
    std::fprintf(stderr, "window_probe: the sample has no control \"%s\"\n", label.c_str());
    return 2;
  }
  POINT point{static_cast<LONG>(control->bounds.x + control->bounds.width / 2),
              static_cast<LONG>(control->bounds.y + control->bounds.height / 2)};
  ClientToScreen(window, &point);
  SetForegroundWindow(window);
  // Onto the control first, so that it sees the pointer arrive, then a press and a release.
  if (!SetCursorPos(point.x, point.y) || !Send({MouseInput(MOUSEEVENTF_MOVE)})) return 1;
  Pause();
  if (!Send({MouseInput(MOUSEEVENTF_LEFTDOWN)})) return 1;
  Pause();
  if (!Send({MouseInput(MOUSEEVENTF_LEFTUP)})) return 1;
  Pause();
  std::printf("clicked \"%s\" at %ld,%ld\n", label.c_str(), point.x, point.y);
  return 0;
}

int Type(const std::string& text) {
  for (const char c : text) {
    const auto unit = static_cast<WORD>(static_cast<unsigned char>(c));
    if (!Send({KeyInput(0, unit, KEYEVENTF_UNICODE),
               KeyInput(0, unit, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP)})) {
      return 1;
    }
    Pause();
  }
  return 0;
}

int Key(const std::string& name) {
  WORD key = 0;
  if (name == "escape") key = VK_ESCAPE;
  if (name == "tab") key = VK_TAB;
  if (name == "enter") key = VK_RETURN;
  if (key == 0) return 2;
  if (!Send({KeyInput(key, 0, 0), KeyInput(key, 0, KEYEVENTF_KEYUP)})) return 1;
  Pause();
  return 0;
}

// The client area once it has not changed for half a second; none after the deadline.
std::optional<Image> Settled(HWND window, Clock::time_point deadline) {
  std::optional<Image> shot = CaptureClientArea(window);
  while (Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::optional<Image> again = CaptureClientArea(window);
    if (shot && again && DifferingPixels(*shot, *again) == 0) return again;
    shot = std::move(again);
  }
  return std::nullopt;
}

int SettledShot(const char* out_path, int seconds) {
  HWND window = WaitForWindow(seconds);
  std::optional<Image> shot =
      window ? Settled(window, Clock::now() + std::chrono::seconds(seconds)) : std::nullopt;
  if (!shot || !WritePpm(*shot, out_path)) {
    std::fprintf(stderr, "window_probe: the window did not settle within %d s\n", seconds);
    return 1;
  }
  return 0;
}

int Changed(const char* before_path, const char* out_path, int seconds) {
  const auto deadline = Clock::now() + std::chrono::seconds(seconds);
  const std::optional<Image> before = ReadPpm(before_path);
  HWND window = WaitForWindow(seconds);
  if (!before || window == nullptr) return 1;
  while (Clock::now() < deadline) {
    std::optional<Image> shot = Settled(window, deadline);
    if (shot && DifferingPixels(*before, *shot) != 0) {
      std::printf("the window changed in %zu pixels\n", DifferingPixels(*before, *shot));
      return WritePpm(*shot, out_path) ? 0 : 1;
    }
  }
  std::fprintf(stderr, "window_probe: the window did not change within %d s\n", seconds);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "wait" && argc == 3) return Wait(std::atoi(argv[2]));
  if (command == "match" && argc == 5) return Match(argv[2], argv[3], std::atoi(argv[4]));
  if (command == "close" && argc == 2) return Close();
  if (command == "click" && argc == 3) return Click(argv[2]);
  if (command == "type" && argc == 3) return Type(argv[2]);
  if (command == "key" && argc == 3) return Key(argv[2]);
  if (command == "settled" && argc == 4) return SettledShot(argv[2], std::atoi(argv[3]));
  if (command == "changed" && argc == 5) return Changed(argv[2], argv[3], std::atoi(argv[4]));
  std::fprintf(stderr,
               "usage: window_probe wait SECONDS | match FRAME OUT SECONDS | close | click LABEL "
               "| type TEXT | key escape|tab|enter | settled OUT SECONDS | changed BEFORE OUT "
               "SECONDS\n");
  return 2;
}
