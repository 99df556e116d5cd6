#include "runner/tests/test_bundle_window.h"

#include <atomic>

#include "runner/tests/test_probe.h"

namespace runner_test {
namespace {

std::string Utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
  result.resize(static_cast<size_t>(size - 1));
  return result;
}

std::atomic<bool> g_fonts_sent{false};

}  // namespace

void ReportTopLevelWindow(HWND window, bool visible) {
  if (!visible) {
    RecordEvent("hidden");
    return;
  }
  wchar_t title[64] = {};
  GetWindowTextW(window, title, 64);
  RECT rect{};
  GetWindowRect(window, &rect);
  RecordEvent("shown " + Utf8(title) + " " + std::to_string(rect.left) + "," +
              std::to_string(rect.top) + " " + std::to_string(rect.right - rect.left) + "x" +
              std::to_string(rect.bottom - rect.top));
  if (!g_fonts_sent.exchange(true)) PostMessageW(window, WM_FONTCHANGE, 0, 0);
}

}  // namespace runner_test
