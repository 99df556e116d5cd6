// The X11 backend in this process, on the display of the test's Xvfb: what the display does to
// a window reaches its window procedure as Windows' messages.
#include <dwmapi.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Seen {
  std::vector<SIZE> sizes;
  int closes = 0;
  int activations = 0;
  std::vector<MSG> input;  // Mouse and key messages.
};
Seen g_seen;

LRESULT CALLBACK RecordingProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SIZE:
      g_seen.sizes.push_back(SIZE{LOWORD(lparam), HIWORD(lparam)});
      // The display's work runs inside GetMessageW: a posted message lets the test look.
      PostMessageW(window, WM_APP, 0, 0);
      break;
    case WM_ACTIVATE:
      if (LOWORD(wparam) != WA_INACTIVE) ++g_seen.activations;
      break;
    case WM_CLOSE:
      ++g_seen.closes;
      break;
    case WM_LBUTTONDOWN:
    case WM_KEYDOWN:
    case WM_CHAR:
      g_seen.input.push_back(MSG{window, message, wparam, lparam, 0, {}});
      break;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

std::string Property(Display* display, ::Window window, const char* name) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  std::string value;
  if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1024, False,
                         AnyPropertyType, &type, &format, &count, &after, &data) == Success &&
      data != nullptr && format == 8) {
    value.assign(reinterpret_cast<char*>(data), count);
  }
  if (data != nullptr) XFree(data);
  return value;
}

// The top-level X window with `title`; 0 when there is none yet.
::Window FindByTitle(Display* display, const std::string& title) {
  ::Window root = 0;
  ::Window parent = 0;
  ::Window* children = nullptr;
  unsigned count = 0;
  ::Window found = 0;
  if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
    for (unsigned i = 0; i < count && found == 0; ++i) {
      if (Property(display, children[i], "_NET_WM_NAME") == title) found = children[i];
    }
    if (children != nullptr) XFree(children);
  }
  return found;
}

// Handles this thread's messages until `done` holds (each message is checked once handled).
template <typename Done>
void PumpUntil(Done done) {
  MSG msg{};
  while (!done() && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
}

TEST(X11BackendTest, TheDisplaysActionsArriveAsWindowMessages) {
  if (std::getenv("DISPLAY") == nullptr || std::getenv("DISPLAY")[0] == '\0') {
    GTEST_SKIP() << "No X display (Xvfb is not installed)";
  }
  Display* display = XOpenDisplay(nullptr);
  // Windows of other clients may vanish between listing and reading them.
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  ASSERT_NE(display, nullptr);

  WNDCLASSW window_class{};
  window_class.lpfnWndProc = RecordingProcedure;
  window_class.lpszClassName = L"X11BackendTest";
  ASSERT_NE(RegisterClassW(&window_class), 0);
  HWND window = CreateWindowExW(0, L"X11BackendTest", L"Backend \u00e9t\u00e9", WS_OVERLAPPEDWINDOW,
                                20, 30, 300, 200, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  BOOL dark = TRUE;
  DwmSetWindowAttribute(window, DWMWA_USE_IMMERSIVE_DARK_MODE, &dark, sizeof(dark));
  ShowWindow(window, SW_SHOWNORMAL);

  // The window appears with its UTF-8 title and the dark theme variant. The X thread works
  // on its own: look until it has (the test's timeout bounds the wait).
  ::Window x_window = 0;
  while ((x_window = FindByTitle(display, "Backend \xC3\xA9t\xC3\xA9")) == 0 ||
         Property(display, x_window, "_GTK_THEME_VARIANT").empty()) {
    XSync(display, False);
  }
  EXPECT_EQ(Property(display, x_window, "_GTK_THEME_VARIANT"), "dark");
  XWindowAttributes attributes{};
  ASSERT_TRUE(XGetWindowAttributes(display, x_window, &attributes));
  EXPECT_EQ(attributes.width, 300);
  EXPECT_EQ(attributes.height, 200);

  // The user resizes the window: WM_SIZE, and the Win32 rectangle follows.
  g_seen.sizes.clear();
  XMoveResizeWindow(display, x_window, 40, 50, 420, 310);
  XFlush(display);
  PumpUntil([] { return !g_seen.sizes.empty(); });
  EXPECT_EQ(g_seen.sizes.back().cx, 420);
  EXPECT_EQ(g_seen.sizes.back().cy, 310);
  RECT rect{};
  GetWindowRect(window, &rect);
  EXPECT_EQ(rect.left, 40);
  EXPECT_EQ(rect.top, 50);

  // The program moves it: the X window follows.
  MoveWindow(window, 70, 80, 500, 400, TRUE);
  do {
    XSync(display, False);
    XGetWindowAttributes(display, x_window, &attributes);
  } while (attributes.width != 500 || attributes.x != 70);
  EXPECT_EQ(attributes.height, 400);

  // A click and a key press (sent as the X server would deliver them) arrive as the mouse
  // message in client coordinates and as the key and character messages.
  XEvent press{};
  press.xbutton.type = ButtonPress;
  press.xbutton.window = x_window;
  press.xbutton.x = 12;
  press.xbutton.y = 34;
  press.xbutton.button = 1;
  press.xbutton.state = ShiftMask;
  press.xbutton.same_screen = True;
  XSendEvent(display, x_window, False, ButtonPressMask, &press);
  XEvent key{};
  key.xkey.type = KeyPress;
  key.xkey.window = x_window;
  key.xkey.keycode = XKeysymToKeycode(display, XK_a);
  key.xkey.same_screen = True;
  XSendEvent(display, x_window, False, KeyPressMask, &key);
  XFlush(display);
  PumpUntil([] { return g_seen.input.size() >= 3; });
  ASSERT_EQ(g_seen.input.size(), 3u);
  EXPECT_EQ(g_seen.input[0].message, UINT{WM_LBUTTONDOWN});
  EXPECT_EQ(g_seen.input[0].wParam, WPARAM{MK_LBUTTON | MK_SHIFT});
  EXPECT_EQ(GET_X_LPARAM(g_seen.input[0].lParam), 12);
  EXPECT_EQ(GET_Y_LPARAM(g_seen.input[0].lParam), 34);
  EXPECT_EQ(g_seen.input[1].message, UINT{WM_KEYDOWN});
  EXPECT_EQ(g_seen.input[1].wParam, WPARAM{'A'});
  EXPECT_EQ(g_seen.input[2].message, UINT{WM_CHAR});
  EXPECT_EQ(g_seen.input[2].wParam, WPARAM{'a'});

  // The close button: WM_CLOSE, then the default procedure destroys the window.
  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = x_window;
  close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  XSendEvent(display, x_window, False, NoEventMask, &close);
  XFlush(display);
  PumpUntil([] { return false; });  // Until WM_QUIT.
  EXPECT_EQ(g_seen.closes, 1);
  EXPECT_FALSE(IsWindow(window));
  // The X window goes with it.
  while (FindByTitle(display, "Backend \xC3\xA9t\xC3\xA9") != 0) XSync(display, False);
  UnregisterClassW(L"X11BackendTest", nullptr);
  XCloseDisplay(display);
}

}  // namespace
