// The X11 presentation backend: top-level windows become X11 windows that show the frames of
// the engine views inside them. One thread owns the X connection. It sleeps in poll() on the
// connection and on a wake-up pipe, runs the window manager's requests (queued by the
// PresentationBackend calls) and turns the display's events into work on the windows'
// threads, so they reach the program as the messages Windows would send.
#include <windows.h>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrandr.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/win32/posix/input.h"
#include "platform/win32/posix/presentation.h"
#include "platform/win32/posix/x11/x11_input.h"
#include "platform/win32/posix/x11/x11_monitors.h"
#include "platform/win32/posix/x11/x11_surface.h"

namespace win32_posix {
namespace {

// The engine library's reader of a view's frame; looked up at run time, because the engine
// library is built over this layer and is loaded only by programs that use it.
struct ViewFrameInfo {
  uint32_t width;
  uint32_t height;
  uint64_t frame_count;
};
using ReadViewContents = bool (*)(HWND, ViewFrameInfo*, uint8_t*, size_t);

constexpr DWORD kDarkTitleBarAttribute = 20;

int ReportError(Display* display, XErrorEvent* error) {
  char text[256] = {};
  XGetErrorText(display, error->error_code, text, sizeof(text));
  std::fprintf(stderr, "X11: request %d failed: %s\n", error->request_code, text);
  return 0;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// What the X thread knows of one top-level window.
struct PresentedWindow {
  ::Window id = 0;
  RECT rect{};  // Screen rectangle, as last set by either side.
  // Rectangles the display reported and the window's thread has yet to apply: their
  // WindowMoved echoes must not move the X window back.
  std::deque<RECT> echoes;
  HWND content = nullptr;  // The window inside whose contents it shows (an engine view).
  bool mapped = false;
  std::unique_ptr<X11Surface> surface;
};

class X11Backend final : public PresentationBackend {
 public:
  static std::unique_ptr<X11Backend> Open(const char* display_name) {
    Display* display = XOpenDisplay(display_name);
    if (display == nullptr) return nullptr;
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0) {
      XCloseDisplay(display);
      return nullptr;
    }
    return std::unique_ptr<X11Backend>(new X11Backend(display, pipe_fds[0], pipe_fds[1]));
  }

  ~X11Backend() override {
    Enqueue(nullptr);  // Stops the thread.
    thread_.join();
    windows_.clear();
    XCloseDisplay(display_);
    close(wake_read_);
    close(wake_write_);
  }

  void WindowCreated(HWND window, const std::string& title, const RECT& rect) override {
    Enqueue([this, window, title, rect] { Create(window, title, rect); });
  }
  void WindowShown(HWND window, bool visible) override {
    Enqueue([this, window, visible] { Show(window, visible); });
  }
  void WindowMoved(HWND window, const RECT& rect) override {
    Enqueue([this, window, rect] { Move(window, rect); });
  }
  void WindowTitled(HWND window, const std::string& title) override {
    Enqueue([this, window, title] {
      if (PresentedWindow* presented = Find(window)) SetTitle(presented->id, title);
    });
  }
  void WindowAttributeSet(HWND window, DWORD attribute,
                          const std::vector<uint8_t>& value) override {
    if (attribute != kDarkTitleBarAttribute) return;
    bool dark = false;
    for (uint8_t byte : value) dark = dark || byte != 0;
    Enqueue([this, window, dark] {
      // Window managers that follow GTK's theme variant draw a dark or light title bar.
      PresentedWindow* presented = Find(window);
      if (presented == nullptr) return;
      const std::string variant = dark ? "dark" : "light";
      XChangeProperty(display_, presented->id, Intern("_GTK_THEME_VARIANT"), utf8_string_, 8,
                      PropModeReplace, reinterpret_cast<const unsigned char*>(variant.data()),
                      static_cast<int>(variant.size()));
    });
  }
  void WindowDestroyed(HWND window) override {
    Enqueue([this, window] {
      auto found = windows_.find(window);
      if (found == windows_.end()) return;
      by_id_.erase(found->second.id);
      found->second.surface.reset();
      XDestroyWindow(display_, found->second.id);
      windows_.erase(found);
    });
  }
  void WindowInvalidated(HWND top_level, HWND window) override {
    Enqueue([this, top_level, window] {
      PresentedWindow* presented = Find(top_level);
      if (presented == nullptr) return;
      if (window != top_level) presented->content = window;
      dirty_.push_back(top_level);
    });
  }
  std::vector<MonitorDescription> Monitors() override {
    std::lock_guard<std::mutex> lock(monitors_mutex_);
    return monitors_;
  }

 private:
  X11Backend(Display* display, int wake_read, int wake_write)
      : display_(display), wake_read_(wake_read), wake_write_(wake_write) {
    screen_ = DefaultScreen(display_);
    root_ = RootWindow(display_, screen_);
    utf8_string_ = Intern("UTF8_STRING");
    wm_protocols_ = Intern("WM_PROTOCOLS");
    wm_delete_window_ = Intern("WM_DELETE_WINDOW");
    net_wm_ping_ = Intern("_NET_WM_PING");
    int major = 0;
    int minor = 0;
    Bool pixmaps = False;
    // Shared memory works only when the server runs on this machine.
    shared_memory_ = XShmQueryVersion(display_, &major, &minor, &pixmaps) == True;
    int error_base = 0;
    has_randr_ = XRRQueryExtension(display_, &randr_event_base_, &error_base) == True;
    if (has_randr_) {
      XRRSelectInput(display_, root_, RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask);
    }
    // The desktop's Xft.dpi lives in a property of the root window.
    XSelectInput(display_, root_, PropertyChangeMask);
    // Xlib's default ends the process on any error; a display error is not worth that.
    XSetErrorHandler(ReportError);
    // A held key repeats as presses only, not as release and press pairs, so the program sees
    // repeats (bit 30 of lparam) rather than the key going up and down.
    XkbSetDetectableAutoRepeat(display_, True, nullptr);
    view_reader_ =
        reinterpret_cast<ReadViewContents>(dlsym(RTLD_DEFAULT, "VelaDesktopViewReadContents"));
    RefreshMonitors();
    thread_ = std::thread([this] { Run(); });
  }

  Atom Intern(const char* name) { return XInternAtom(display_, name, False); }

  // Hands `command` to the X thread; null stops it.
  void Enqueue(std::function<void()> command) {
    {
      std::lock_guard<std::mutex> lock(commands_mutex_);
      if (command) {
        commands_.push_back(std::move(command));
      } else {
        stopping_ = true;
      }
    }
    const char byte = 0;
    // A full pipe already holds a wake-up.
    while (write(wake_write_, &byte, 1) < 0 && errno == EINTR) {
    }
  }

  void Run() {
    pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {wake_read_, POLLIN, 0}};
    for (;;) {
      char drain[64];
      while (read(wake_read_, drain, sizeof(drain)) > 0) {
      }
      std::deque<std::function<void()>> commands;
      bool stopping = false;
      {
        std::lock_guard<std::mutex> lock(commands_mutex_);
        commands.swap(commands_);
        stopping = stopping_;
      }
      for (auto& command : commands) command();
      while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        Handle(event);
      }
      Redraw();
      XFlush(display_);
      if (stopping) return;
      // Replies read while drawing may have brought events along.
      if (XPending(display_) > 0) continue;
      {
        std::lock_guard<std::mutex> lock(commands_mutex_);
        if (!commands_.empty() || stopping_) continue;
      }
      if (poll(fds, 2, -1) < 0 && errno != EINTR) {
        std::fprintf(stderr, "X11: poll failed: %s\n", std::strerror(errno));
        return;
      }
      if (fds[0].revents & (POLLERR | POLLHUP)) {
        // The display went away; the program keeps running without it.
        std::fprintf(stderr, "X11: the connection to the display was lost\n");
        return;
      }
    }
  }

  PresentedWindow* Find(HWND window) {
    auto found = windows_.find(window);
    return found == windows_.end() ? nullptr : &found->second;
  }

  HWND FindById(::Window id) {
    auto found = by_id_.find(id);
    return found == by_id_.end() ? nullptr : found->second;
  }

  void SetTitle(::Window id, const std::string& title) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(title.data());
    const int length = static_cast<int>(title.size());
    XChangeProperty(display_, id, Intern("_NET_WM_NAME"), utf8_string_, 8, PropModeReplace, bytes,
                    length);
    XChangeProperty(display_, id, XA_WM_NAME, utf8_string_, 8, PropModeReplace, bytes, length);
  }

  void Create(HWND window, const std::string& title, const RECT& rect) {
    if (windows_.count(window) != 0) return;
    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(display_, screen_);
    attributes.bit_gravity = NorthWestGravity;
    attributes.event_mask = StructureNotifyMask | ExposureMask | FocusChangeMask | ButtonPressMask |
                            ButtonReleaseMask | PointerMotionMask | KeyPressMask | KeyReleaseMask;
    const unsigned width = static_cast<unsigned>(std::max<LONG>(rect.right - rect.left, 1));
    const unsigned height = static_cast<unsigned>(std::max<LONG>(rect.bottom - rect.top, 1));
    const ::Window id = XCreateWindow(display_, root_, rect.left, rect.top, width, height, 0,
                                      CopyFromParent, InputOutput, CopyFromParent,
                                      CWBackPixel | CWBitGravity | CWEventMask, &attributes);
    PresentedWindow& presented = windows_[window];
    presented.id = id;
    presented.rect = rect;
    by_id_[id] = window;

    SetTitle(id, title);
    Atom protocols[] = {wm_delete_window_, net_wm_ping_};
    XSetWMProtocols(display_, id, protocols, 2);
    XClassHint class_hint{const_cast<char*>("tervala_app"), const_cast<char*>("Tervala")};
    XSetClassHint(display_, id, &class_hint);
    XSizeHints* hints = XAllocSizeHints();
    if (hints != nullptr) {
      // The program chose the position: window managers should keep it.
      hints->flags = PPosition | PSize | USPosition;
      hints->x = rect.left;
      hints->y = rect.top;
      hints->width = static_cast<int>(width);
      hints->height = static_cast<int>(height);
      XSetWMNormalHints(display_, id, hints);
      XFree(hints);
    }
    const long pid = getpid();
    XChangeProperty(display_, id, Intern("_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    presented.surface =
        std::make_unique<X11Surface>(display_, DefaultVisual(display_, screen_),
                                     DefaultDepth(display_, screen_), shared_memory_);
  }

  void Show(HWND window, bool visible) {
    PresentedWindow* presented = Find(window);
    if (presented == nullptr) return;
    if (visible) {
      XMapRaised(display_, presented->id);
      // Some window managers place windows anew on mapping; the program's position holds.
      XMoveWindow(display_, presented->id, presented->rect.left, presented->rect.top);
    } else {
      XUnmapWindow(display_, presented->id);
      presented->mapped = false;
    }
  }

  void Move(HWND window, const RECT& rect) {
    PresentedWindow* presented = Find(window);
    if (presented == nullptr) return;
    // The program applying what the display reported: nothing to do.
    for (size_t i = 0; i < presented->echoes.size(); ++i) {
      if (SameRect(presented->echoes[i], rect)) {
        presented->echoes.erase(presented->echoes.begin(),
                                presented->echoes.begin() + static_cast<long>(i) + 1);
        return;
      }
    }
    presented->rect = rect;
    const unsigned width = static_cast<unsigned>(std::max<LONG>(rect.right - rect.left, 1));
    const unsigned height = static_cast<unsigned>(std::max<LONG>(rect.bottom - rect.top, 1));
    XMoveResizeWindow(display_, presented->id, rect.left, rect.top, width, height);
    dirty_.push_back(window);
  }

  void Handle(XEvent& event) {
    if (has_randr_ && (event.type == randr_event_base_ + RRScreenChangeNotify ||
                       event.type == randr_event_base_ + RRNotify)) {
      XRRUpdateConfiguration(&event);
      RefreshMonitors();
      return;
    }
    switch (event.type) {
      case PropertyNotify:
        if (event.xproperty.window == root_ && event.xproperty.atom == Intern("RESOURCE_MANAGER")) {
          RefreshMonitors();
        }
        return;
      case ClientMessage:
        HandleClientMessage(event.xclient);
        return;
      case ConfigureNotify:
        HandleConfigure(event.xconfigure);
        return;
      case MapNotify:
        if (HWND window = FindById(event.xmap.window)) {
          Find(window)->mapped = true;
          dirty_.push_back(window);
        }
        return;
      case UnmapNotify:
        if (HWND window = FindById(event.xunmap.window)) Find(window)->mapped = false;
        return;
      case Expose:
        if (event.xexpose.count == 0) {
          if (HWND window = FindById(event.xexpose.window)) dirty_.push_back(window);
        }
        return;
      case MotionNotify: {
        // Only the latest position of a run of moves matters.
        XEvent next;
        while (XEventsQueued(display_, QueuedAlready) > 0) {
          XPeekEvent(display_, &next);
          if (next.type != MotionNotify || next.xmotion.window != event.xmotion.window) break;
          XNextEvent(display_, &event);
        }
        const XMotionEvent& motion = event.xmotion;
        HandlePointer(motion.window, motion.x, motion.y, WM_MOUSEMOVE, MouseKeyState(motion.state),
                      0);
        return;
      }
      case ButtonPress:
      case ButtonRelease: {
        const XButtonEvent& button = event.xbutton;
        const bool pressed = event.type == ButtonPress;
        short wheel_delta = 0;
        const UINT message = MouseMessageFromButton(button.button, pressed, &wheel_delta);
        if (message == 0) return;
        HandlePointer(button.window, button.x, button.y, message,
                      MouseKeyState(button.state, button.button, pressed), wheel_delta);
        return;
      }
      case KeyPress:
      case KeyRelease:
        HandleKey(event.xkey);
        return;
      case FocusIn:
      case FocusOut: {
        if (event.xfocus.detail == NotifyInferior || event.xfocus.detail == NotifyPointer) return;
        HWND window = FindById(event.xfocus.window);
        if (window == nullptr) return;
        // Activation arrives as WM_ACTIVATE, focus inside the window follows from it.
        if (event.type == FocusIn) {
          PostToWindowThread(window, [window] {
            SetActiveWindow(window);
            // A window that was active already but lost its focus takes it again; the
            // top-level window hands it on to the view inside.
            if (GetFocus() == nullptr) SetFocus(window);
          });
        } else {
          PostToWindowThread(window, [window] {
            if (GetActiveWindow() == window) SetActiveWindow(nullptr);
          });
        }
        return;
      }
      default:
        return;
    }
  }

  // A pointer event at (`x`, `y`) of X window `id`. The X window covers the top-level window
  // exactly, so the point is the offset from the window's origin in physical pixels. The
  // message is routed on the window's thread, after the moves the display reported before.
  void HandlePointer(::Window id, int x, int y, UINT message, WORD key_state, short wheel_delta) {
    HWND window = FindById(id);
    if (window == nullptr) return;
    PostToWindowThread(window, [window, x, y, message, key_state, wheel_delta] {
      RECT rect{};
      if (!GetWindowRect(window, &rect)) return;
      InjectMouseInput(POINT{rect.left + x, rect.top + y}, message, key_state, wheel_delta, window);
    });
  }

  // A key press or release: WM_KEYDOWN or WM_KEYUP for keys with a virtual-key code (the
  // WM_SYSKEY variants, as on Windows, for Alt and keys pressed while it is held), then for a
  // press WM_CHAR with the UTF-16 units of the character it types (none while Alt is held,
  // where Windows sends system characters instead).
  void HandleKey(XKeyEvent& key) {
    HWND window = FindById(key.window);
    if (window == nullptr) return;
    const bool pressed = key.type == KeyPress;
    const WPARAM virtual_key = VirtualKeyFromKeysym(XLookupKeysym(&key, 0));
    WCHAR units[2] = {};
    size_t unit_count = 0;
    if (pressed) {
      char text[32];
      KeySym keysym = NoSymbol;
      XLookupString(&key, text, sizeof(text), &keysym, nullptr);
      if (!(key.state & Mod1Mask)) {
        unit_count = EncodeUtf16(CharacterFromKeysym(keysym, key.state & ControlMask), units);
        if (unit_count == 1 && units[0] == 0) unit_count = 0;
      }
    }
    // X key codes are the evdev codes plus 8; evdev codes are the PC scan codes.
    const LPARAM scan_code = static_cast<LPARAM>((key.keycode - 8) & 0xff) << 16;
    const bool system = (key.state & Mod1Mask) != 0 || virtual_key == VK_MENU;
    PostToWindowThread(window, [=] {
      if (virtual_key != 0) {
        const bool was_down = (GetKeyState(static_cast<int>(virtual_key)) & 0x8000) != 0;
        LPARAM lparam = 1 | scan_code;
        if (system) lparam |= LPARAM{1} << 29;                  // Alt is down.
        if (!pressed) lparam |= static_cast<LPARAM>(3u) << 30;  // Was down, going up.
        if (pressed && was_down) lparam |= LPARAM{1} << 30;     // A repeat.
        const UINT message =
            system ? (pressed ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (pressed ? WM_KEYDOWN : WM_KEYUP);
        InjectKeyInput(message, virtual_key, lparam);
      }
      for (size_t i = 0; i < unit_count; ++i) InjectKeyInput(WM_CHAR, units[i], 1 | scan_code);
    });
  }

  void HandleClientMessage(const XClientMessageEvent& message) {
    if (message.message_type != wm_protocols_ || message.format != 32) return;
    const Atom protocol = static_cast<Atom>(message.data.l[0]);
    if (protocol == net_wm_ping_) {
      // The window manager checks that the program is alive: answer to the root window.
      XClientMessageEvent reply = message;
      reply.window = root_;
      XSendEvent(display_, root_, False, SubstructureNotifyMask | SubstructureRedirectMask,
                 reinterpret_cast<XEvent*>(&reply));
      return;
    }
    if (protocol != wm_delete_window_) return;
    HWND window = FindById(message.window);
    if (window == nullptr) return;
    // The close button: WM_CLOSE, which the program may answer as it likes.
    PostToWindowThread(window, [window] { PostMessageW(window, WM_CLOSE, 0, 0); });
  }

  void HandleConfigure(const XConfigureEvent& configure) {
    HWND window = FindById(configure.window);
    if (window == nullptr) return;
    PresentedWindow& presented = *Find(window);
    int x = configure.x;
    int y = configure.y;
    if (!configure.send_event) {
      // A real event is relative to the parent, which a window manager may have put around
      // the window: ask where it is on the screen.
      ::Window child = 0;
      XTranslateCoordinates(display_, configure.window, root_, 0, 0, &x, &y, &child);
    }
    const RECT rect{x, y, x + configure.width, y + configure.height};
    if (SameRect(rect, presented.rect)) return;
    presented.rect = rect;
    presented.echoes.push_back(rect);
    // A rectangle the program adjusted (WM_WINDOWPOSCHANGING) never comes back as it was.
    constexpr size_t kMaxEchoes = 16;
    if (presented.echoes.size() > kMaxEchoes) presented.echoes.pop_front();
    dirty_.push_back(window);
    // Moves and resizes arrive as WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE and, on a monitor of
    // another DPI, WM_DPICHANGED.
    PostToWindowThread(window, [window, rect] {
      SetWindowPos(window, nullptr, rect.left, rect.top, rect.right - rect.left,
                   rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
    });
  }

  void RefreshMonitors() {
    std::vector<MonitorDescription> monitors = QueryMonitors(display_);
    std::lock_guard<std::mutex> lock(monitors_mutex_);
    monitors_ = std::move(monitors);
  }

  // Draws the windows whose contents changed.
  void Redraw() {
    std::vector<HWND> dirty;
    dirty.swap(dirty_);
    std::vector<HWND> done;
    for (HWND window : dirty) {
      if (std::find(done.begin(), done.end(), window) != done.end()) continue;
      done.push_back(window);
      PresentedWindow* presented = Find(window);
      if (presented == nullptr || !presented->mapped) continue;
      Draw(window, *presented);
    }
  }

  void Draw(HWND window, PresentedWindow& presented) {
    if (presented.content == nullptr || view_reader_ == nullptr) return;
    ViewFrameInfo info{};
    // The frame may change size between the two reads: read again then.
    bool read = false;
    for (int attempt = 0; attempt < 3 && !read; ++attempt) {
      info = ViewFrameInfo{};
      view_reader_(presented.content, &info, nullptr, 0);
      if (info.frame_count == 0 || info.width == 0 || info.height == 0) return;
      pixels_.resize(static_cast<size_t>(info.width) * info.height * 4);
      read = view_reader_(presented.content, &info, pixels_.data(), pixels_.size());
    }
    // The view's place inside the window.
    RECT view{};
    RECT top{};
    if (!read || !GetWindowRect(presented.content, &view) || !GetWindowRect(window, &top)) return;
    const int x = view.left - top.left;
    const int y = view.top - top.top;
    const int width = std::min<int>(static_cast<int>(info.width), top.right - top.left - x);
    const int height = std::min<int>(static_cast<int>(info.height), top.bottom - top.top - y);
    if (width <= 0 || height <= 0) return;
    presented.surface->Put(presented.id, DefaultGC(display_, screen_), x, y, pixels_.data(), width,
                           height, static_cast<size_t>(info.width) * 4);
  }

  Display* const display_;
  const int wake_read_;
  const int wake_write_;
  int screen_ = 0;
  ::Window root_ = 0;
  Atom utf8_string_ = 0;
  Atom wm_protocols_ = 0;
  Atom wm_delete_window_ = 0;
  Atom net_wm_ping_ = 0;
  bool shared_memory_ = false;
  bool has_randr_ = false;
  int randr_event_base_ = 0;
  ReadViewContents view_reader_ = nullptr;

  std::mutex commands_mutex_;
  std::deque<std::function<void()>> commands_;  // Guarded by commands_mutex_.
  bool stopping_ = false;                       // Guarded by commands_mutex_.

  std::mutex monitors_mutex_;
  std::vector<MonitorDescription> monitors_;  // Guarded by monitors_mutex_.

  // X thread only.
  std::map<HWND, PresentedWindow> windows_;
  std::map<::Window, HWND> by_id_;
  std::vector<HWND> dirty_;
  std::vector<uint8_t> pixels_;

  std::thread thread_;
};

}  // namespace

void EnsureDisplayBackend() {
  static std::once_flag once;
  std::call_once(once, [] {
    const char* headless = std::getenv("TERVALA_HEADLESS");
    const char* display = std::getenv("DISPLAY");
    // TERVALA_HEADLESS set to anything but "" or "0" keeps the windows in memory.
    const bool wants_headless =
        headless != nullptr && headless[0] != '\0' && std::string_view(headless) != "0";
    if (wants_headless || display == nullptr || display[0] == '\0') return;
    std::unique_ptr<X11Backend> backend = X11Backend::Open(display);
    if (!backend) {
      std::fprintf(stderr,
                   "X11: cannot open the display \"%s\"; windows stay invisible "
                   "(set TERVALA_HEADLESS=1 to silence this)\n",
                   display);
      return;
    }
    // A backend that someone installed already (tests) stays; ours then closes again.
    std::unique_ptr<PresentationBackend> previous = SetPresentationBackend(std::move(backend));
    if (previous) SetPresentationBackend(std::move(previous)).reset();
  });
}

}  // namespace win32_posix
