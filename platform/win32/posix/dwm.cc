// Desktop window manager attributes, recorded on the window.
#include <dwmapi.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/win32/posix/presentation.h"
#include "platform/win32/posix/state.h"

using namespace win32_posix;

extern "C" {

HRESULT WINAPI DwmSetWindowAttribute(HWND window, DWORD attribute, LPCVOID value, DWORD size) {
  if (value == nullptr || size == 0) return E_INVALIDARG;
  // The dark title bar is a BOOL.
  if (attribute == DWMWA_USE_IMMERSIVE_DARK_MODE && size != sizeof(BOOL)) return E_INVALIDARG;
  const auto* bytes = static_cast<const uint8_t*>(value);
  std::vector<uint8_t> recorded(bytes, bytes + size);
  bool top_level = false;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    std::shared_ptr<Window> found = FindWindowLocked(window);
    if (!found) return E_HANDLE;
    found->dwm_attributes[attribute] = recorded;
    top_level = found->presented;
  }
  if (top_level) Presentation().WindowAttributeSet(window, attribute, recorded);
  return S_OK;
}

HRESULT WINAPI DwmGetWindowAttribute(HWND window, DWORD attribute, PVOID value, DWORD size) {
  if (value == nullptr) return E_INVALIDARG;
  std::lock_guard<std::mutex> lock(GlobalLock());
  std::shared_ptr<Window> found = FindWindowLocked(window);
  if (!found) return E_HANDLE;
  auto it = found->dwm_attributes.find(attribute);
  if (it == found->dwm_attributes.end() || it->second.size() != size) return E_INVALIDARG;
  std::memcpy(value, it->second.data(), size);
  return S_OK;
}

}  // extern "C"
