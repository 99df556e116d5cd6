// An image the X11 backend fills with RGBA pixels and puts into a window: in shared memory
// when the X server offers MIT-SHM on the local machine, else sent over the connection.
#ifndef TERVALA_PLATFORM_WIN32_POSIX_X11_X11_SURFACE_H_
#define TERVALA_PLATFORM_WIN32_POSIX_X11_X11_SURFACE_H_

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstdint>

namespace win32_posix {

// Used on the backend's X thread only.
class X11Surface {
 public:
  X11Surface(Display* display, Visual* visual, int depth, bool use_shared_memory);
  ~X11Surface();
  X11Surface(const X11Surface&) = delete;
  X11Surface& operator=(const X11Surface&) = delete;

  // Draws `width` x `height` RGBA pixels (rows `row_bytes` apart) at (x, y) of `window`.
  void Put(Window window, GC gc, int x, int y, const uint8_t* rgba, int width, int height,
           size_t row_bytes);

 private:
  bool Reserve(int width, int height);
  void Release();
  void Convert(const uint8_t* rgba, int width, int height, size_t row_bytes);

  Display* display_;
  Visual* visual_;
  int depth_;
  bool shared_memory_;
  XImage* image_ = nullptr;
  XShmSegmentInfo segment_{};
  bool attached_ = false;
  // Where each colour channel goes in a 32-bit pixel; fast path when all are 8 bits wide.
  int red_shift_ = 0;
  int green_shift_ = 0;
  int blue_shift_ = 0;
  bool fast_ = false;
};

}  // namespace win32_posix

#endif  // TERVALA_PLATFORM_WIN32_POSIX_X11_X11_SURFACE_H_
