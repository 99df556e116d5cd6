// tervala_app on a real X display (Xvfb): its window appears with the title "Tervala" at the
// size the monitor's DPI asks for, shows the application's frame, and the close button ends
// the program with exit code 0. The CTest entry runs it inside xvfb-run.
// gtest comes before Xlib, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <bit>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kTimeout = std::chrono::seconds(30);

// An RGB image of the screen.
struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
};

void AppendChunk(std::string& png, const char* type, const std::string& data) {
  const uint32_t length = static_cast<uint32_t>(data.size());
  for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<char>(length >> shift));
  const std::string body = std::string(type, 4) + data;
  png += body;
  const uint32_t crc =
      crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<char>(crc >> shift));
}

// Writes `shot` as an 8-bit RGB PNG.
bool WritePng(const Screenshot& shot, const std::string& path) {
  std::string raw;
  const size_t row = static_cast<size_t>(shot.width) * 3;
  for (int y = 0; y < shot.height; ++y) {
    raw.push_back('\0');  // No filter.
    raw.append(reinterpret_cast<const char*>(shot.rgb.data()) + y * row, row);
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string compressed(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(compressed.data()), &size,
                reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                Z_BEST_COMPRESSION) != Z_OK) {
    return false;
  }
  compressed.resize(size);
  std::string header;
  for (uint32_t value : {static_cast<uint32_t>(shot.width), static_cast<uint32_t>(shot.height)}) {
    for (int shift = 24; shift >= 0; shift -= 8)
      header.push_back(static_cast<char>(value >> shift));
  }
  header +=
      std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace.
  std::string png = "\x89PNG\r\n\x1a\n";
  AppendChunk(png, "IHDR", header);
  AppendChunk(png, "IDAT", compressed);
  AppendChunk(png, "IEND", "");
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  return std::fclose(file) == 0 && written;
}

std::optional<Screenshot> Capture(Display* display, ::Window window) {
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display, window, &attributes)) return std::nullopt;
  XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                            static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  if (image == nullptr) return std::nullopt;
  Screenshot shot;
  shot.width = attributes.width;
  shot.height = attributes.height;
  shot.rgb.reserve(static_cast<size_t>(shot.width) * shot.height * 3);
  const unsigned long masks[3] = {image->red_mask, image->green_mask, image->blue_mask};
  for (int y = 0; y < shot.height; ++y) {
    for (int x = 0; x < shot.width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      for (unsigned long mask : masks) {
        const int shift = mask == 0 ? 0 : std::countr_zero(mask);
        const unsigned long max = mask >> shift;
        shot.rgb.push_back(max == 0 ? 0
                                    : static_cast<uint8_t>(((pixel & mask) >> shift) * 255 / max));
      }
    }
  }
  XDestroyImage(image);
  return shot;
}

// A frame with content: more than one colour.
bool ShowsContent(const Screenshot& shot) {
  std::set<uint32_t> colours;
  for (size_t i = 0; i + 2 < shot.rgb.size() && colours.size() < 2; i += 3) {
    colours.insert(static_cast<uint32_t>(shot.rgb[i]) << 16 | shot.rgb[i + 1] << 8 |
                   shot.rgb[i + 2]);
  }
  return colours.size() >= 2;
}

std::string TitleOf(Display* display, ::Window window) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0, 1024,
                         False, AnyPropertyType, &type, &format, &count, &after,
                         &data) == Success &&
      data != nullptr) {
    title.assign(reinterpret_cast<char*>(data), count);
  }
  if (data != nullptr) XFree(data);
  return title;
}

// Waits until the connection has news or `deadline` passes.
void WaitForEvents(Display* display, Clock::time_point deadline) {
  XFlush(display);
  while (XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
  }
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  if (left.count() <= 0) return;
  // Events wake us; the bound lets the caller look again at what it cannot be told about
  // (the pixels of a window).
  pollfd fd{ConnectionNumber(display), POLLIN, 0};
  poll(&fd, 1, static_cast<int>(std::min<long>(left.count(), 100)));
}

// The viewable top-level window titled `title`, once it exists.
::Window WaitForWindow(Display* display, const std::string& title, Clock::time_point deadline) {
  for (;;) {
    ::Window root_return = 0;
    ::Window parent = 0;
    ::Window* children = nullptr;
    unsigned count = 0;
    ::Window found = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root_return, &parent, &children, &count)) {
      for (unsigned i = 0; i < count && found == 0; ++i) {
        XWindowAttributes attributes{};
        if (TitleOf(display, children[i]) == title &&
            XGetWindowAttributes(display, children[i], &attributes) &&
            attributes.map_state == IsViewable) {
          found = children[i];
        }
      }
      if (children != nullptr) XFree(children);
    }
    if (found != 0 || Clock::now() >= deadline) return found;
    WaitForEvents(display, deadline);
  }
}

// Waits for the child to end; its exit status, or none on timeout.
std::optional<int> WaitForExit(pid_t pid, Clock::time_point deadline) {
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      if (pidfd >= 0) close(pidfd);
      return status;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      if (pidfd >= 0) close(pidfd);
      return std::nullopt;
    }
    // The process descriptor becomes readable when the child ends.
    pollfd fd{pidfd, POLLIN, 0};
    poll(&fd, pidfd >= 0 ? 1 : 0, static_cast<int>(std::min<long>(left.count(), 50)));
  }
}

TEST(X11ScreenTest, TheProgramShowsItsWindowWithContentAndClosesCleanly) {
  const char* display_name = std::getenv("DISPLAY");
  if (display_name == nullptr || display_name[0] == '\0') {
    GTEST_SKIP() << "No X display: Xvfb (xvfb-run) is not installed, so real windows are not "
                    "tested here (apt-get install xvfb xauth, then reconfigure)";
  }
  Display* display = XOpenDisplay(nullptr);
  // Windows of other clients may vanish between listing and reading them.
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  ASSERT_NE(display, nullptr) << "cannot open the display " << display_name;
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  // The desktop's scale, as desktop sessions publish it: Xft.dpi in the root's resources.
  const int dpi = 144;
  const std::string resources = "Xft.dpi:\t" + std::to_string(dpi) + "\n";
  XChangeProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER, XA_STRING, 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(resources.data()),
                  static_cast<int>(resources.size()));
  XSync(display, False);

  // The program starts from another working directory: it finds data/ through its own path.
  const std::filesystem::path home =
      std::filesystem::temp_directory_path() / ("tervala-x11-" + std::to_string(getpid()));
  std::filesystem::create_directories(home);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (chdir(home.c_str()) != 0) _exit(126);
    unsetenv("TERVALA_HEADLESS");
    unsetenv("TERVALA_MONITORS");
    // The application data and the registry (the user's theme) of its own, not the user's.
    setenv("TERVALA_DATA_DIR", (home / "data").c_str(), 1);
    setenv("TERVALA_REGISTRY", (home / "config" / "registry.reg").c_str(), 1);
    execl(TERVALA_APP, TERVALA_APP, static_cast<char*>(nullptr));
    _exit(127);
  }
  struct Reaper {
    pid_t pid;
    ~Reaper() {
      if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
      }
    }
  } reaper{pid};

  const auto deadline = Clock::now() + kTimeout;
  const ::Window window = WaitForWindow(display, "Tervala", deadline);
  ASSERT_NE(window, 0u) << "no window titled \"Tervala\" appeared";

  // 1280 x 720 logical pixels at the monitor's DPI.
  XWindowAttributes attributes{};
  ASSERT_TRUE(XGetWindowAttributes(display, window, &attributes));
  EXPECT_EQ(attributes.width, 1280 * dpi / 96);
  EXPECT_EQ(attributes.height, 720 * dpi / 96);

  // The window is shown with the first frame; the frame reaches the screen right after.
  std::optional<Screenshot> shot;
  while (Clock::now() < deadline) {
    shot = Capture(display, window);
    if (shot && ShowsContent(*shot)) break;
    WaitForEvents(display, deadline);
  }
  ASSERT_TRUE(shot.has_value());
  const char* screenshot_path = std::getenv("TERVALA_TEST_SCREENSHOT");
  const std::string path = screenshot_path != nullptr ? screenshot_path : "tervala_x11_screen.png";
  EXPECT_TRUE(WritePng(*shot, path)) << path;
  EXPECT_TRUE(ShowsContent(*shot)) << "the window stayed blank; see " << path;

  // The close button.
  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = window;
  close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  close.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &close);
  XFlush(display);

  const std::optional<int> status = WaitForExit(pid, Clock::now() + kTimeout);
  ASSERT_TRUE(status.has_value()) << "the program did not end after WM_DELETE_WINDOW";
  reaper.pid = 0;
  ASSERT_TRUE(WIFEXITED(*status)) << "status " << *status;
  EXPECT_EQ(WEXITSTATUS(*status), 0);
  XCloseDisplay(display);
  std::filesystem::remove_all(home);
}

}  // namespace
