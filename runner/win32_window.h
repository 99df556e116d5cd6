// The application's top-level window, as a base class: it owns the native window, scales it
// to the monitor's DPI, follows the system's light or dark app theme in the title bar, keeps
// one hosted child window sized to the client area and focused, and can end the message loop
// when it is closed. Derived classes fill in OnCreated, OnDestroying and HandleMessage.
#ifndef TERVALA_RUNNER_WIN32_WINDOW_H_
#define TERVALA_RUNNER_WIN32_WINDOW_H_

#include <windows.h>

#include <cstdint>
#include <string>

class Win32Window {
 public:
  // A position in logical (96-DPI) units.
  struct Point {
    int32_t x;
    int32_t y;
  };

  // A size in logical (96-DPI) units.
  struct Size {
    int32_t width;
    int32_t height;
  };

  Win32Window();
  virtual ~Win32Window();

  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  // Creates the native window, hidden, with `title` at `origin` and `size` scaled to the DPI
  // of the monitor nearest to `origin`. An earlier native window is destroyed first. Returns
  // false when the window cannot be created, else what OnCreated returns.
  bool Create(const std::wstring& title, const Point& origin, const Size& size);

  // Shows the window normally; returns whether it was visible before.
  bool Show();

  // Runs OnDestroying, destroys the native window if there is one, and unregisters the window
  // class when no window object is left.
  void Destroy();

  // Makes `content` the hosted child window: re-parents it, sizes it to the client area and
  // gives it the keyboard focus. The window never owns it.
  void AttachChildWindow(HWND content);

  // The client rectangle of the native window.
  RECT ClientArea();

  // When set, the destruction of the native window posts the quit message (code 0).
  void SetQuitWhenClosed(bool quit_when_closed);

  // The native window, or null while there is none.
  HWND GetHandle() const { return window_handle_; }

  // The window procedure of the window class.
  static LRESULT CALLBACK WindowProcedure(HWND const window, UINT const message,
                                          WPARAM const wparam, LPARAM const lparam) noexcept;

  // Sets the title bar of `window` dark or light after the user's app theme.
  static void ApplySystemTheme(HWND window);

  // Asks the system to scale the non-client area of `window` with its DPI, where the system
  // offers that.
  static void EnableNonClientScaling(HWND window);

 protected:
  // Handles the messages of the native window; see the source for the ones handled here.
  virtual LRESULT HandleMessage(HWND const window, UINT const message, WPARAM const wparam,
                                LPARAM const lparam) noexcept;

  // Called by Create once the native window exists; its result is Create's result.
  virtual bool OnCreated();

  // Called by Destroy, also when the native window is destroyed by the system.
  virtual void OnDestroying();

  // The default handling of the messages HandleMessage does not handle: DefWindowProcW.
  // Tests override it to see which messages reach it.
  virtual LRESULT DefaultProcedure(HWND const window, UINT const message, WPARAM const wparam,
                                   LPARAM const lparam) noexcept;

 private:
  bool quit_when_closed_ = false;
  HWND window_handle_ = nullptr;
  HWND child_content_ = nullptr;
};

#endif  // TERVALA_RUNNER_WIN32_WINDOW_H_
