// Monitors and their DPI: the default monitor, TERVALA_MONITORS, or the backend's.
#include <shellscalingapi.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/posix/presentation.h"
#include "platform/win32/posix/window_ops.h"

namespace win32_posix {
namespace {

constexpr uintptr_t kFirstMonitorHandle = 0x1000;

// The parsed value of TERVALA_MONITORS, kept until the variable changes.
struct MonitorCache {
  std::mutex mutex;
  std::string text;
  std::vector<MonitorDescription> monitors;
};

MonitorCache& Cache() {
  static MonitorCache* const cache = new MonitorCache();
  return *cache;
}

bool ParseInt(const std::string& text, long min, long max, long& value) {
  size_t begin = text.find_first_not_of(" \t");
  size_t end = text.find_last_not_of(" \t");
  if (begin == std::string::npos) return false;
  const std::string trimmed = text.substr(begin, end - begin + 1);
  errno = 0;
  char* stop = nullptr;
  value = std::strtol(trimmed.c_str(), &stop, 10);
  return errno == 0 && stop != trimmed.c_str() && *stop == '\0' && value >= min && value <= max;
}

// One "x,y,width,height,dpi" entry; false when it is malformed or out of range.
bool ParseEntry(const std::string& entry, MonitorDescription& monitor) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t comma = entry.find(',', start);
    fields.push_back(
        entry.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (fields.size() != 5) return false;
  constexpr long kLimit = 1L << 24;  // Keeps every edge far inside 32 bits.
  long x = 0, y = 0, width = 0, height = 0, dpi = 0;
  if (!ParseInt(fields[0], -kLimit, kLimit, x) || !ParseInt(fields[1], -kLimit, kLimit, y) ||
      !ParseInt(fields[2], 1, kLimit, width) || !ParseInt(fields[3], 1, kLimit, height) ||
      !ParseInt(fields[4], kMinMonitorDpi, kMaxMonitorDpi, dpi)) {
    return false;
  }
  monitor.rect = RECT{static_cast<LONG>(x), static_cast<LONG>(y), static_cast<LONG>(x + width),
                      static_cast<LONG>(y + height)};
  monitor.dpi = static_cast<UINT>(dpi);
  return true;
}

std::vector<MonitorDescription> ParseMonitors(const std::string& text) {
  std::vector<MonitorDescription> monitors;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t semicolon = text.find(';', start);
    const std::string entry =
        text.substr(start, semicolon == std::string::npos ? std::string::npos : semicolon - start);
    if (entry.find_first_not_of(" \t") != std::string::npos) {
      MonitorDescription monitor;
      if (ParseEntry(entry, monitor)) {
        monitors.push_back(monitor);
      } else {
        std::fprintf(stderr,
                     "TERVALA_MONITORS: ignoring \"%s\": expected x,y,width,height,dpi with a "
                     "positive size and a DPI from %u to %u\n",
                     entry.c_str(), kMinMonitorDpi, kMaxMonitorDpi);
      }
    }
    if (semicolon == std::string::npos) break;
    start = semicolon + 1;
  }
  if (monitors.empty()) {
    std::fprintf(stderr, "TERVALA_MONITORS: no usable monitor; using the default monitor\n");
  }
  return monitors;
}

HMONITOR HandleFor(size_t index) { return reinterpret_cast<HMONITOR>(kFirstMonitorHandle + index); }

bool IndexFor(HMONITOR monitor, size_t count, size_t& index) {
  const auto value = reinterpret_cast<uintptr_t>(monitor);
  if (value < kFirstMonitorHandle || value - kFirstMonitorHandle >= count) return false;
  index = value - kFirstMonitorHandle;
  return true;
}

int64_t Gap(LONG low, LONG high, LONG other_low, LONG other_high) {
  if (other_high <= low) return static_cast<int64_t>(low) - other_high + 1;
  if (other_low >= high) return static_cast<int64_t>(other_low) - high + 1;
  return 0;
}

int64_t DistanceSquared(const RECT& a, const RECT& b) {
  const int64_t dx = Gap(a.left, a.right, b.left, b.right);
  const int64_t dy = Gap(a.top, a.bottom, b.top, b.bottom);
  return dx * dx + dy * dy;
}

int64_t Overlap(const RECT& a, const RECT& b) {
  const int64_t width = static_cast<int64_t>(std::min(a.right, b.right)) - std::max(a.left, b.left);
  const int64_t height =
      static_cast<int64_t>(std::min(a.bottom, b.bottom)) - std::max(a.top, b.top);
  return width > 0 && height > 0 ? width * height : 0;
}

// The monitor a rectangle lies on most, else per `flags`.
HMONITOR MonitorForRect(const RECT& rect, DWORD flags) {
  const std::vector<MonitorDescription> monitors = CurrentMonitors();
  size_t best = 0;
  int64_t best_overlap = 0;
  for (size_t i = 0; i < monitors.size(); ++i) {
    const int64_t overlap = Overlap(rect, monitors[i].rect);
    if (overlap > best_overlap) {
      best = i;
      best_overlap = overlap;
    }
  }
  if (best_overlap > 0) return HandleFor(best);
  if (flags == MONITOR_DEFAULTTOPRIMARY) return HandleFor(0);
  if (flags != MONITOR_DEFAULTTONEAREST) return nullptr;
  int64_t best_distance = INT64_MAX;
  for (size_t i = 0; i < monitors.size(); ++i) {
    const int64_t distance = DistanceSquared(rect, monitors[i].rect);
    if (distance < best_distance) {
      best = i;
      best_distance = distance;
    }
  }
  return HandleFor(best);
}

}  // namespace

std::vector<MonitorDescription> CurrentMonitors() {
  EnsureDisplayBackend();
  const char* text = std::getenv("TERVALA_MONITORS");
  if (text != nullptr && text[0] != '\0') {
    MonitorCache& cache = Cache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    if (cache.text != text) {
      cache.text = text;
      cache.monitors = ParseMonitors(cache.text);
    }
    if (!cache.monitors.empty()) return cache.monitors;
  }
  std::vector<MonitorDescription> monitors = Presentation().Monitors();
  if (!monitors.empty()) return monitors;
  return {MonitorDescription{RECT{0, 0, 1920, 1080}, USER_DEFAULT_SCREEN_DPI}};
}

UINT DpiForRect(const RECT& rect) {
  const std::vector<MonitorDescription> monitors = CurrentMonitors();
  size_t index = 0;
  if (!IndexFor(MonitorForRect(rect, MONITOR_DEFAULTTONEAREST), monitors.size(), index)) {
    return USER_DEFAULT_SCREEN_DPI;
  }
  return monitors[index].dpi;
}

}  // namespace win32_posix

using namespace win32_posix;

extern "C" {

HMONITOR WINAPI MonitorFromPoint(POINT point, DWORD flags) {
  return MonitorForRect(RECT{point.x, point.y, point.x + 1, point.y + 1}, flags);
}

HMONITOR WINAPI MonitorFromRect(LPCRECT rect, DWORD flags) {
  if (rect == nullptr) return nullptr;
  RECT area = *rect;
  // An empty rectangle is taken as its top-left point.
  if (area.right <= area.left) area.right = area.left + 1;
  if (area.bottom <= area.top) area.bottom = area.top + 1;
  return MonitorForRect(area, flags);
}

HMONITOR WINAPI MonitorFromWindow(HWND window, DWORD flags) {
  if (!IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return flags == MONITOR_DEFAULTTONULL ? nullptr : MonitorForRect(RECT{0, 0, 1, 1}, flags);
  }
  const RECT rect = ScreenRect(window);
  return MonitorFromRect(&rect, flags);
}

BOOL WINAPI GetMonitorInfoW(HMONITOR monitor, LPMONITORINFO info) {
  if (info == nullptr || info->cbSize < sizeof(MONITORINFO)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::vector<MonitorDescription> monitors = CurrentMonitors();
  size_t index = 0;
  if (!IndexFor(monitor, monitors.size(), index)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  info->rcMonitor = monitors[index].rect;
  info->rcWork = monitors[index].rect;
  info->dwFlags = index == 0 ? MONITORINFOF_PRIMARY : 0;
  return TRUE;
}

HRESULT WINAPI GetDpiForMonitor(HMONITOR monitor, MONITOR_DPI_TYPE, UINT* dpi_x, UINT* dpi_y) {
  if (dpi_x == nullptr || dpi_y == nullptr) return E_INVALIDARG;
  const std::vector<MonitorDescription> monitors = CurrentMonitors();
  size_t index = 0;
  if (!IndexFor(monitor, monitors.size(), index)) return E_INVALIDARG;
  *dpi_x = monitors[index].dpi;
  *dpi_y = monitors[index].dpi;
  return S_OK;
}

}  // extern "C"
