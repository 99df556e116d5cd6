#ifndef TERVALA_APP_LONG_PATH_WIN_H_
#define TERVALA_APP_LONG_PATH_WIN_H_

// Paths longer than the classic Win32 limit. Without long-path support switched on for the
// system, CreateDirectoryW fails from 248 characters on and the file functions from 260;
// the same path in its extended-length form ("\\?\C:\...") works up to about 32767
// characters everywhere. The system does not normalise an extended-length path, so the
// conversion makes it absolute and turns every '/' into '\' first.

#include <string>

namespace nimbus {

// Paths at least this long (UTF-16 units) are converted: the shortest length at which a
// folder can no longer be created the classic way.
inline constexpr size_t kLongPathThreshold = 248;

// The form of `path` to hand to the Win32 file functions: `path` itself when it is shorter
// than kLongPathThreshold, empty or in extended-length or device form (\\?\, \\.\) already;
// otherwise its absolute form with '\' separators behind "\\?\" (a UNC path \\server\share
// becomes \\?\UNC\server\share). When the absolute form cannot be found, `path` itself.
std::wstring ExtendedLengthPath(const std::wstring& path);

}  // namespace nimbus

#endif  // TERVALA_APP_LONG_PATH_WIN_H_
