// Paths and whole files for tests, spelled the same way on every platform: paths cross API
// boundaries as UTF-8 strings, and the filesystem library does the platform's part.
#ifndef TERVALA_PLATFORM_TEST_SUPPORT_PATHS_H_
#define TERVALA_PLATFORM_TEST_SUPPORT_PATHS_H_

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tervala_testing {

// The UTF-8 form of `path`, with the platform's separators.
std::string PathToUtf8(const std::filesystem::path& path);
// The path that the UTF-8 string `utf8` names.
std::filesystem::path PathFromUtf8(std::string_view utf8);
// `base` and `relative` (UTF-8, '/'-separated) joined with the platform's separator.
std::string JoinPath(std::string_view base, std::string_view relative);

// The absolute path of the running executable.
std::filesystem::path CurrentExecutable();

// The whole content of the file at `path` (UTF-8), or nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(std::string_view path);
// Replaces the file's content with `bytes`. False when the file cannot be written.
bool WriteWholeFile(std::string_view path, std::string_view bytes);
// The names in `folder`, sorted; empty when it cannot be listed.
std::vector<std::string> FolderEntries(std::string_view folder);

}  // namespace tervala_testing

#endif  // TERVALA_PLATFORM_TEST_SUPPORT_PATHS_H_
