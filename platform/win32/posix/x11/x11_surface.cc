#include "platform/win32/posix/x11/x11_surface.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <bit>
#include <cstdlib>
#include <cstring>

namespace win32_posix {
namespace {

// Set by the error handler while an MIT-SHM attach is tried (X thread only).
bool g_attach_failed = false;

int NoteAttachError(Display*, XErrorEvent*) {
  g_attach_failed = true;
  return 0;
}

// The shift of an 8-bit channel in `mask`, or -1 when the mask is not 8 contiguous bits.
int ShiftOf(unsigned long mask) {
  if (mask == 0) return -1;
  const int shift = std::countr_zero(mask);
  return (mask >> shift) == 0xFF ? shift : -1;
}

}  // namespace

X11Surface::X11Surface(Display* display, Visual* visual, int depth, bool use_shared_memory)
    : display_(display), visual_(visual), depth_(depth), shared_memory_(use_shared_memory) {
  red_shift_ = ShiftOf(visual->red_mask);
  green_shift_ = ShiftOf(visual->green_mask);
  blue_shift_ = ShiftOf(visual->blue_mask);
  fast_ = red_shift_ >= 0 && green_shift_ >= 0 && blue_shift_ >= 0;
}

X11Surface::~X11Surface() { Release(); }

void X11Surface::Release() {
  if (image_ == nullptr) return;
  if (attached_) {
    XShmDetach(display_, &segment_);
    XSync(display_, False);
    attached_ = false;
  }
  if (segment_.shmaddr != nullptr) {
    shmdt(segment_.shmaddr);
    segment_ = XShmSegmentInfo{};
    image_->data = nullptr;
  }
  XDestroyImage(image_);  // Frees the data of an image that is not in shared memory.
  image_ = nullptr;
}

bool X11Surface::Reserve(int width, int height) {
  if (image_ != nullptr && image_->width >= width && image_->height >= height) return true;
  Release();
  if (shared_memory_) {
    image_ =
        XShmCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, nullptr,
                        &segment_, static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (image_ != nullptr) {
      const size_t size = static_cast<size_t>(image_->bytes_per_line) * image_->height;
      segment_.shmid = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
      void* address = segment_.shmid >= 0 ? shmat(segment_.shmid, nullptr, 0) : nullptr;
      if (address != nullptr && address != reinterpret_cast<void*>(-1)) {
        segment_.shmaddr = image_->data = static_cast<char*>(address);
        segment_.readOnly = False;
        g_attach_failed = false;
        auto* previous = XSetErrorHandler(NoteAttachError);
        XShmAttach(display_, &segment_);
        XSync(display_, False);
        XSetErrorHandler(previous);
        attached_ = !g_attach_failed;
      }
      // The segment goes away with its last user: this process or the server.
      if (segment_.shmid >= 0) shmctl(segment_.shmid, IPC_RMID, nullptr);
      if (attached_) return true;
      // The server cannot reach our memory (for example over the network): send images.
      if (segment_.shmaddr != nullptr) shmdt(segment_.shmaddr);
      segment_ = XShmSegmentInfo{};
      image_->data = nullptr;
      XDestroyImage(image_);
      image_ = nullptr;
    }
    shared_memory_ = false;
  }
  image_ = XCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, 0, nullptr,
                        static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
  if (image_ == nullptr) return false;
  image_->data = static_cast<char*>(
      std::calloc(static_cast<size_t>(image_->bytes_per_line), static_cast<size_t>(height)));
  if (image_->data == nullptr) {
    XDestroyImage(image_);
    image_ = nullptr;
    return false;
  }
  return true;
}

void X11Surface::Convert(const uint8_t* rgba, int width, int height, size_t row_bytes) {
  const bool fast =
      fast_ && image_->bits_per_pixel == 32 &&
      image_->byte_order == (std::endian::native == std::endian::little ? LSBFirst : MSBFirst);
  for (int y = 0; y < height; ++y) {
    const uint8_t* source = rgba + static_cast<size_t>(y) * row_bytes;
    if (fast) {
      auto* target = reinterpret_cast<uint32_t*>(image_->data + y * image_->bytes_per_line);
      for (int x = 0; x < width; ++x, source += 4) {
        target[x] = static_cast<uint32_t>(source[0]) << red_shift_ |
                    static_cast<uint32_t>(source[1]) << green_shift_ |
                    static_cast<uint32_t>(source[2]) << blue_shift_;
      }
      continue;
    }
    // Any other visual: scale each channel to its mask, one pixel at a time.
    for (int x = 0; x < width; ++x, source += 4) {
      unsigned long pixel = 0;
      const unsigned long masks[3] = {visual_->red_mask, visual_->green_mask, visual_->blue_mask};
      for (int c = 0; c < 3; ++c) {
        if (masks[c] == 0) continue;
        const int shift = std::countr_zero(masks[c]);
        const unsigned long max = masks[c] >> shift;
        pixel |= ((source[c] * max + 127) / 255) << shift;
      }
      XPutPixel(image_, x, y, pixel);
    }
  }
}

void X11Surface::Put(Window window, GC gc, int x, int y, const uint8_t* rgba, int width, int height,
                     size_t row_bytes) {
  if (width <= 0 || height <= 0 || !Reserve(width, height)) return;
  Convert(rgba, width, height, row_bytes);
  if (attached_) {
    XShmPutImage(display_, window, gc, image_, 0, 0, x, y, static_cast<unsigned>(width),
                 static_cast<unsigned>(height), False);
    // The image memory is ours again once the server has drawn it.
    XSync(display_, False);
  } else {
    XPutImage(display_, window, gc, image_, 0, 0, x, y, static_cast<unsigned>(width),
              static_cast<unsigned>(height));
  }
}

}  // namespace win32_posix
