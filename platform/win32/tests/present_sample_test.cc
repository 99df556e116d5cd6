// The sample application on a real X display (Xvfb), driven the way a user drives it: xdotool
// moves the pointer, clicks and types through the X server (XTEST), the X11 backend turns that
// into window messages and the engine hands them to the application. Typing an app name and
// clicking "Create app" must create the app (its heartbeat file appears) and change the
// window's pixels; Escape closes the window. Skipped without a display or without xdotool.
// gtest and the sample's headers come before Xlib, whose macros (None, Bool) would break them.
#include <gtest/gtest.h>

#include "bundle/sample/control_panel.h"
#include "bundle/sample/sample_view.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/tests/present_support.h"

namespace {

namespace fs = std::filesystem;
using namespace present_test;

// Whether `program` is on the PATH.
bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string folders = path != nullptr ? path : "";
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string candidate = folders.substr(start, end - start) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// Runs xdotool with the arguments (words without blanks); true when it succeeded.
bool Xdotool(const std::string& arguments) {
  const int status = std::system(("xdotool " + arguments).c_str());
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The heartbeat files in the data folder.
std::vector<std::string> HeartbeatFiles(const fs::path& data) {
  std::vector<std::string> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(data / "nimbus-heartbeat", error)) {
    files.push_back(entry.path().filename().string());
  }
  return files;
}

bool HasHeartbeatOf(const fs::path& data, const std::string& app) {
  for (const std::string& file : HeartbeatFiles(data)) {
    if (file.starts_with("heartbeats-") && file.ends_with(app)) return true;
  }
  return false;
}

// The window's pixels once they have stayed the same for a while: what the program drew last
// has reached the screen.
std::optional<Screenshot> SettledCapture(Display* display, ::Window window,
                                         Clock::time_point deadline) {
  std::optional<Screenshot> shot = Capture(display, window);
  while (Clock::now() < deadline) {
    WaitForEvents(display, std::min(deadline, Clock::now() + std::chrono::milliseconds(400)));
    std::optional<Screenshot> again = Capture(display, window);
    if (shot && again && shot->rgb == again->rgb) break;
    shot = std::move(again);
  }
  return shot;
}

// At the desktop scale of the parameter, in DPI: the pointer's positions are physical pixels,
// which must meet the controls where the sample drew them at that scale.
class X11SampleTest : public ::testing::TestWithParam<int> {};

TEST_P(X11SampleTest, TypingANameAndClickingCreateMakesTheApp) {
  const int dpi = GetParam();
  const std::string app = "demo" + std::to_string(dpi);
  const char* display_name = std::getenv("DISPLAY");
  if (display_name == nullptr || display_name[0] == '\0') {
    GTEST_SKIP() << "No X display: Xvfb (xvfb-run) is not installed";
  }
  if (!OnPath("xdotool")) GTEST_SKIP() << "xdotool is not installed (apt-get install xdotool)";
  Display* display = XOpenDisplay(nullptr);
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  ASSERT_NE(display, nullptr) << "cannot open the display " << display_name;
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  const std::string resources = "Xft.dpi:\t" + std::to_string(dpi) + "\n";
  XChangeProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER, XA_STRING, 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(resources.data()),
                  static_cast<int>(resources.size()));
  XSync(display, False);

  // A working folder with the sample config file, and a data folder of its own.
  const fs::path home =
      fs::temp_directory_path() / ("tervala-x11-sample-" + std::to_string(getpid()) + "-" + app);
  fs::create_directories(home / "data");
  fs::copy_file(SAMPLE_CONFIG, home / "nimbus-services.json", fs::copy_options::overwrite_existing);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (chdir(home.c_str()) != 0) _exit(126);
    unsetenv("TERVALA_HEADLESS");
    unsetenv("TERVALA_MONITORS");
    setenv("TERVALA_DATA_DIR", (home / "data").c_str(), 1);
    setenv("TERVALA_LINK_OPENER_DRY_RUN", "1", 1);
    execl(TERVALA_APP, TERVALA_APP, static_cast<char*>(nullptr));
    _exit(127);
  }
  Reaper reaper{pid};

  // Every click and key is a frame of the whole window, which takes a while at 192 DPI in the
  // sanitizer builds.
  const auto deadline = Clock::now() + 2 * kTimeout;
  const ::Window window = WaitForWindow(display, "Tervala", deadline);
  ASSERT_NE(window, 0u) << "no window titled \"Tervala\" appeared";
  // The default app is made at start-up from the config file; the new app takes its options.
  while (!HasHeartbeatOf(home / "data", "__NIMBUSAPP_DEFAULT") && Clock::now() < deadline) {
    WaitForEvents(display, deadline);
  }
  ASSERT_TRUE(HasHeartbeatOf(home / "data", "__NIMBUSAPP_DEFAULT"));

  // Where the sample draws its controls in a view the size of the window.
  XWindowAttributes attributes{};
  ASSERT_TRUE(XGetWindowAttributes(display, window, &attributes));
  tervala_bundle::ControlPanel panel = tervala_bundle::MakeSamplePanel();
  tervala_bundle::LayOutSamplePanel(panel, static_cast<uint32_t>(attributes.width),
                                    static_cast<uint32_t>(dpi));
  auto click = [&](int control) {
    const tervala_bundle::Rect r = panel.Find(control)->bounds;
    return Xdotool("mousemove --window " + std::to_string(window) + " " +
                   std::to_string(r.x + r.width / 2) + " " + std::to_string(r.y + r.height / 2) +
                   " click 1");
  };

  ASSERT_TRUE(click(tervala_bundle::kNameField));
  ASSERT_TRUE(Xdotool("type --delay 30 " + app));
  // The typed name shows before the click; the new app's request and answer after it.
  const std::optional<Screenshot> typed = SettledCapture(display, window, deadline);
  ASSERT_TRUE(typed.has_value());
  ASSERT_TRUE(click(tervala_bundle::kCreateButton));
  while (!HasHeartbeatOf(home / "data", app) && Clock::now() < deadline) {
    WaitForEvents(display, deadline);
  }
  EXPECT_TRUE(HasHeartbeatOf(home / "data", app))
      << "no heartbeat of the new app; files: "
      << ::testing::PrintToString(HeartbeatFiles(home / "data"));
  const std::optional<Screenshot> created = SettledCapture(display, window, deadline);
  ASSERT_TRUE(created.has_value());
  // (Not EXPECT_NE: the pixels would fill the log.)
  EXPECT_TRUE(created->rgb != typed->rgb) << "the window did not change after the click";

  // The other requests, for the picture of them all (the link opener only checks the URL).
  for (int control : {tervala_bundle::kDataCollectionToggle, tervala_bundle::kOptionsButton,
                      tervala_bundle::kPermissionButton, tervala_bundle::kConsoleButton}) {
    ASSERT_TRUE(click(control));
  }
  std::optional<Screenshot> shot;
  while (Clock::now() < deadline) {
    shot = SettledCapture(display, window, deadline);
    if (shot && shot->rgb != created->rgb) break;
  }
  ASSERT_TRUE(shot.has_value());
  const char* screenshot_path = std::getenv("TERVALA_SAMPLE_SCREENSHOT");
  std::string path = screenshot_path != nullptr ? screenshot_path : "tervala_x11_sample.png";
  if (dpi != 96)
    path.insert(path.rfind('.') == std::string::npos ? path.size() : path.rfind('.'),
                "-" + std::to_string(dpi));
  EXPECT_TRUE(WritePng(*shot, path)) << path;

  // Escape closes the window, and the program ends normally.
  ASSERT_TRUE(Xdotool("key Escape"));
  const std::optional<int> status = WaitForExit(pid, Clock::now() + kTimeout);
  ASSERT_TRUE(status.has_value()) << "the program did not end after Escape";
  reaper.pid = 0;
  ASSERT_TRUE(WIFEXITED(*status)) << "status " << *status;
  EXPECT_EQ(WEXITSTATUS(*status), 0);
  XCloseDisplay(display);
  fs::remove_all(home);
}

INSTANTIATE_TEST_SUITE_P(Scales, X11SampleTest, ::testing::Values(96, 192));

}  // namespace
