// Simulated input exists only over the Win32 layer of POSIX builds, which routes it the way
// Windows routes what the user does. On Windows the tests that use it are left out (see
// CMakeLists.txt); these keep the test program linking and say so if called.
#include <cstdio>

#include "platform/win32/posix/input.h"

namespace win32_posix {

HWND InjectMouseInput(POINT, UINT, WORD, short, HWND) {
  std::fprintf(stderr, "simulated input is not available on Windows\n");
  return nullptr;
}

HWND InjectKeyInput(UINT, WPARAM, LPARAM) {
  std::fprintf(stderr, "simulated input is not available on Windows\n");
  return nullptr;
}

}  // namespace win32_posix
