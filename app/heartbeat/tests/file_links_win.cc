// Links through the Win32 calls themselves: the MinGW C++ library makes no symbolic links
// and reports none.
#include <windows.h>

#include "app/heartbeat/platform_files.h"
#include "app/heartbeat/tests/file_links.h"

namespace nimbus {
namespace heartbeat {
namespace testing {
namespace {

// Win32 takes only backslashes in a link's target.
std::wstring WithBackslashes(const std::string& path) {
  std::wstring native = Utf8ToNative(path);
  for (wchar_t& c : native) {
    if (c == L'/') c = L'\\';
  }
  return native;
}

}  // namespace

bool MakeFileLink(const std::string& target, const std::string& link) {
  return CreateSymbolicLinkW(WithBackslashes(link).c_str(), WithBackslashes(target).c_str(),
                             SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != 0;
}

bool IsFileLink(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WithBackslashes(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace testing
}  // namespace heartbeat
}  // namespace nimbus
