#include "platform/win32/posix/x11/x11_monitors.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace win32_posix {
namespace {

constexpr UINT kDpiStep = 24;

}  // namespace

std::optional<UINT> XftDpiFromResources(const std::string& resources) {
  std::istringstream lines(resources);
  std::string line;
  std::optional<UINT> dpi;
  while (std::getline(lines, line)) {
    constexpr const char kKey[] = "Xft.dpi:";
    if (line.rfind(kKey, 0) != 0) continue;
    const char* value = line.c_str() + sizeof(kKey) - 1;
    char* end = nullptr;
    const double parsed = std::strtod(value, &end);
    while (end != nullptr && (*end == ' ' || *end == '\t' || *end == '\r')) ++end;
    if (end == value || end == nullptr || *end != '\0' || !(parsed >= kMinMonitorDpi) ||
        !(parsed <= kMaxMonitorDpi)) {
      dpi.reset();  // A later valid line may still set it.
      continue;
    }
    dpi = static_cast<UINT>(std::lround(parsed));
  }
  return dpi;
}

UINT PhysicalDpi(int width_pixels, int width_millimetres) {
  if (width_pixels <= 0 || width_millimetres <= 0) return USER_DEFAULT_SCREEN_DPI;
  const double dpi = width_pixels * 25.4 / width_millimetres;
  const long steps = std::lround(dpi / kDpiStep);
  if (steps * kDpiStep < kMinMonitorDpi || steps * kDpiStep > kMaxMonitorDpi)
    return USER_DEFAULT_SCREEN_DPI;
  return static_cast<UINT>(steps * kDpiStep);
}

std::vector<MonitorDescription> QueryMonitors(Display* display) {
  std::optional<UINT> desktop_dpi;
  if (const char* resources = XResourceManagerString(display)) {
    desktop_dpi = XftDpiFromResources(resources);
  }
  const int screen = DefaultScreen(display);
  std::vector<MonitorDescription> monitors;
  int event_base = 0;
  int error_base = 0;
  int major = 0;
  int minor = 0;
  if (XRRQueryExtension(display, &event_base, &error_base) &&
      XRRQueryVersion(display, &major, &minor) && (major > 1 || (major == 1 && minor >= 5))) {
    int count = 0;
    XRRMonitorInfo* infos = XRRGetMonitors(display, RootWindow(display, screen), True, &count);
    for (int i = 0; infos != nullptr && i < count; ++i) {
      const XRRMonitorInfo& info = infos[i];
      if (info.width <= 0 || info.height <= 0) continue;
      MonitorDescription monitor;
      monitor.rect = RECT{info.x, info.y, info.x + info.width, info.y + info.height};
      monitor.dpi = desktop_dpi.value_or(PhysicalDpi(info.width, info.mwidth));
      // The primary monitor comes first, as Windows callers expect.
      if (info.primary && !monitors.empty()) {
        monitors.insert(monitors.begin(), monitor);
      } else {
        monitors.push_back(monitor);
      }
    }
    if (infos != nullptr) XRRFreeMonitors(infos);
  }
  if (monitors.empty()) {
    MonitorDescription whole;
    whole.rect = RECT{0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
    whole.dpi = desktop_dpi.value_or(
        PhysicalDpi(DisplayWidth(display, screen), DisplayWidthMM(display, screen)));
    monitors.push_back(whole);
  }
  return monitors;
}

}  // namespace win32_posix
