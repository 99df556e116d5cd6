// tervala_app on a real X display (Xvfb): its window appears with the title "Tervala" at the
// size the monitor's DPI asks for, shows the application's frame, and the close button ends
// the program with exit code 0. The CTest entry runs it inside xvfb-run.
// gtest comes before Xlib, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/win32/tests/present_support.h"

namespace {

using namespace present_test;

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
  Reaper reaper{pid};

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
