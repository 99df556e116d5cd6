#include <windows.h>

#include <string>

#include "platform/test_support/paths.h"

namespace tervala_testing {

std::filesystem::path CurrentExecutable() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace tervala_testing
