#include "platform/test_support/paths.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

namespace tervala_testing {

std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string JoinPath(std::string_view base, std::string_view relative) {
  return PathToUtf8((PathFromUtf8(base) / PathFromUtf8(relative)).make_preferred());
}

std::optional<std::string> ReadWholeFile(std::string_view path) {
  std::ifstream file(PathFromUtf8(path), std::ios::binary);
  if (!file) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) return std::nullopt;
  return bytes;
}

bool WriteWholeFile(std::string_view path, std::string_view bytes) {
  std::ofstream file(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  return static_cast<bool>(file);
}

std::vector<std::string> FolderEntries(std::string_view folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(PathFromUtf8(folder), error), end;
       !error && it != end; it.increment(error)) {
    names.push_back(PathToUtf8(it->path().filename()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace tervala_testing
