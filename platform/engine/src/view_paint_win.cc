// Painting a view with GDI: the frame's RGBA pixels become a top-down 32-bit BGRA DIB,
// copied 1:1 to the window (frames are drawn at the view's physical size). What the frame
// does not cover is filled black, so no stale pixels stay after a resize.
#include <windows.h>

#include <cstdint>
#include <vector>

#include "platform/engine/src/view_paint.h"

namespace vela_engine {

bool PaintView(HWND window, const Frame* frame) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  if (dc == nullptr) return true;
  RECT client{};
  GetClientRect(window, &client);
  LONG width = 0;
  LONG height = 0;
  if (frame != nullptr && frame->width > 0 && frame->height > 0 &&
      frame->pixels.size() >= static_cast<size_t>(frame->width) * frame->height * 4) {
    width = static_cast<LONG>(frame->width);
    height = static_cast<LONG>(frame->height);
    std::vector<uint8_t> bgra(frame->pixels.begin(),
                              frame->pixels.begin() + static_cast<ptrdiff_t>(width) * height * 4);
    for (size_t i = 0; i < bgra.size(); i += 4) std::swap(bgra[i], bgra[i + 2]);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // negative: rows top-down, as the frame's
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                      static_cast<UINT>(height), bgra.data(), &info, DIB_RGB_COLORS);
  }
  HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  if (client.right > width) {
    const RECT right{width, 0, client.right, client.bottom};
    FillRect(dc, &right, black);
  }
  if (client.bottom > height) {
    const RECT below{0, height, width < client.right ? width : client.right, client.bottom};
    FillRect(dc, &below, black);
  }
  EndPaint(window, &paint);
  return true;
}

}  // namespace vela_engine
