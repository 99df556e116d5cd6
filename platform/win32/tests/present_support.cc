#include "platform/win32/tests/present_support.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <set>

namespace present_test {
namespace {

void AppendChunk(std::string& png, const char* type, const std::string& data) {
  const uint32_t length = static_cast<uint32_t>(data.size());
  for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<char>(length >> shift));
  const std::string body = std::string(type, 4) + data;
  png += body;
  const uint32_t crc =
      crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<char>(crc >> shift));
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

}  // namespace

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
  // Only the part on the screen can be read: X refuses the image of a window that reaches
  // past the screen's edge.
  int left = 0;
  int top = 0;
  ::Window child = 0;
  XWindowAttributes root{};
  if (!XTranslateCoordinates(display, window, attributes.root, 0, 0, &left, &top, &child) ||
      !XGetWindowAttributes(display, attributes.root, &root)) {
    return std::nullopt;
  }
  const int width = std::min(attributes.width, root.width - left);
  const int height = std::min(attributes.height, root.height - top);
  if (left < 0 || top < 0 || width <= 0 || height <= 0) return std::nullopt;
  XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (image == nullptr) return std::nullopt;
  Screenshot shot;
  shot.width = width;
  shot.height = height;
  shot.rgb.resize(static_cast<size_t>(shot.width) * shot.height * 3);
  uint8_t* out = shot.rgb.data();
  const unsigned long masks[3] = {image->red_mask, image->green_mask, image->blue_mask};
  int shifts[3];
  unsigned long maxima[3];
  for (int i = 0; i < 3; ++i) {
    shifts[i] = masks[i] == 0 ? 0 : std::countr_zero(masks[i]);
    maxima[i] = masks[i] >> shifts[i];
  }
  // 32-bit pixels are read straight from the image's rows (XGetPixel per pixel takes seconds
  // for a large window under the sanitizers); other depths through XGetPixel.
  const bool direct = image->bits_per_pixel == 32;
  for (int y = 0; y < shot.height; ++y) {
    const auto* row = reinterpret_cast<const unsigned char*>(image->data) +
                      static_cast<size_t>(y) * static_cast<size_t>(image->bytes_per_line);
    for (int x = 0; x < shot.width; ++x) {
      unsigned long pixel = 0;
      if (direct) {
        const unsigned char* bytes = row + static_cast<size_t>(x) * 4;
        using Pixel = unsigned long;
        pixel =
            image->byte_order == LSBFirst
                ? (Pixel{bytes[3]} << 24 | Pixel{bytes[2]} << 16 | Pixel{bytes[1]} << 8 | bytes[0])
                : (Pixel{bytes[0]} << 24 | Pixel{bytes[1]} << 16 | Pixel{bytes[2]} << 8 | bytes[3]);
      } else {
        pixel = XGetPixel(image, x, y);
      }
      for (int i = 0; i < 3; ++i) {
        const unsigned long value = (pixel & masks[i]) >> shifts[i];
        // 8-bit channels as they are; other widths scaled to 8 bits.
        *out++ = static_cast<uint8_t>(maxima[i] == 255 ? value
                                      : maxima[i] == 0 ? 0
                                                       : value * 255 / maxima[i]);
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

Reaper::~Reaper() {
  if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
}

}  // namespace present_test
