// The registry: REG_DWORD and REG_SZ values read from a per-user file in the format of .reg
// files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>
#include <string>
#include <utility>

#include "platform/win32/posix/state.h"

namespace win32_posix {
namespace {

struct Value {
  DWORD type = REG_NONE;
  DWORD number = 0;
  std::wstring text;
};

std::string StorePath() {
  if (const char* path = std::getenv("TERVALA_REGISTRY"); path != nullptr && path[0] != '\0') {
    return path;
  }
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/') {
    return std::string(config) + "/tervala/registry.reg";
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    return std::string(home) + "/.config/tervala/registry.reg";
  }
  return std::string();
}

// The largest store that is read: a few values need a few hundred bytes.
constexpr off_t kMaxStoreSize = 1 << 20;

// The store's text, read as configuration files are: a regular file only, opened without
// blocking (a FIFO there must not stall window creation), at most kMaxStoreSize bytes. None
// when it is missing; none with a warning when it is something else or too large.
std::optional<std::string> ReadStore(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    if (errno != ENOENT && errno != ENOTDIR) {
      std::fprintf(stderr, "%s: cannot open the registry file: %s; ignored\n", path.c_str(),
                   std::strerror(errno));
    }
    return std::nullopt;
  }
  std::optional<std::string> text;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    std::fprintf(stderr, "%s: the registry file is not a regular file; ignored\n", path.c_str());
  } else if (info.st_size > kMaxStoreSize) {
    std::fprintf(stderr, "%s: the registry file is larger than %lld bytes; ignored\n", path.c_str(),
                 static_cast<long long>(kMaxStoreSize));
  } else {
    // At most the size seen above is read, whatever happens to the file meanwhile.
    std::string buffer(static_cast<size_t>(info.st_size), '\0');
    size_t done = 0;
    while (done < buffer.size()) {
      const ssize_t n = read(fd, buffer.data() + done, buffer.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    buffer.resize(done);
    text = std::move(buffer);
  }
  close(fd);
  return text;
}

const wchar_t* RootName(HKEY key) {
  if (key == HKEY_CLASSES_ROOT) return L"HKEY_CLASSES_ROOT";
  if (key == HKEY_CURRENT_USER) return L"HKEY_CURRENT_USER";
  if (key == HKEY_LOCAL_MACHINE) return L"HKEY_LOCAL_MACHINE";
  if (key == HKEY_USERS) return L"HKEY_USERS";
  return nullptr;
}

// Expands the usual abbreviations of the root keys and drops trailing separators.
std::wstring NormalizeKey(std::wstring key) {
  static const struct {
    const wchar_t* short_name;
    const wchar_t* long_name;
  } kAbbreviations[] = {{L"HKCR", L"HKEY_CLASSES_ROOT"},
                        {L"HKCU", L"HKEY_CURRENT_USER"},
                        {L"HKLM", L"HKEY_LOCAL_MACHINE"},
                        {L"HKU", L"HKEY_USERS"}};
  for (const auto& abbreviation : kAbbreviations) {
    const std::wstring prefix = abbreviation.short_name;
    if (EqualsIgnoringCase(key.substr(0, prefix.size()), prefix) &&
        (key.size() == prefix.size() || key[prefix.size()] == L'\\')) {
      key = abbreviation.long_name + key.substr(prefix.size());
      break;
    }
  }
  while (!key.empty() && key.back() == L'\\') key.pop_back();
  return key;
}

// A quoted string starting at `pos` (at the opening quote), with \\ and \" escapes. Moves
// `pos` past the closing quote.
std::optional<std::wstring> ParseQuoted(const std::wstring& line, size_t& pos) {
  if (pos >= line.size() || line[pos] != L'"') return std::nullopt;
  std::wstring out;
  for (++pos; pos < line.size(); ++pos) {
    const wchar_t c = line[pos];
    if (c == L'"') {
      ++pos;
      return out;
    }
    if (c == L'\\' && pos + 1 < line.size()) {
      const wchar_t next = line[++pos];
      if (next == L'n') {
        out.push_back(L'\n');
      } else {
        out.push_back(next);
      }
      continue;
    }
    out.push_back(c);
  }
  return std::nullopt;
}

std::optional<Value> ParseData(const std::wstring& data) {
  Value value;
  if (data.size() > 6 && EqualsIgnoringCase(data.substr(0, 6), L"dword:")) {
    const std::wstring digits = data.substr(6);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    DWORD number = 0;
    for (wchar_t c : digits) {
      int digit = -1;
      if (c >= L'0' && c <= L'9') digit = c - L'0';
      if (c >= L'a' && c <= L'f') digit = c - L'a' + 10;
      if (c >= L'A' && c <= L'F') digit = c - L'A' + 10;
      if (digit < 0) return std::nullopt;
      number = number * 16 + static_cast<DWORD>(digit);
    }
    value.type = REG_DWORD;
    value.number = number;
    return value;
  }
  size_t pos = 0;
  std::optional<std::wstring> text = ParseQuoted(data, pos);
  if (!text || pos != data.size()) return std::nullopt;
  value.type = REG_SZ;
  value.text = *text;
  return value;
}

std::wstring Trim(const std::wstring& text) {
  const size_t begin = text.find_first_not_of(L" \t\r");
  if (begin == std::wstring::npos) return std::wstring();
  const size_t end = text.find_last_not_of(L" \t\r");
  return text.substr(begin, end - begin + 1);
}

// Looks the value up in the store. A malformed line is reported and skipped.
std::optional<Value> Lookup(const std::wstring& key, const std::wstring& name) {
  const std::string path = StorePath();
  if (path.empty()) return std::nullopt;
  const std::optional<std::string> text = ReadStore(path);
  if (!text) return std::nullopt;
  std::istringstream file(*text);
  const std::wstring wanted_key = NormalizeKey(key);
  std::optional<Value> found;
  std::wstring section;
  std::string raw;
  int line_number = 0;
  while (std::getline(file, raw)) {
    ++line_number;
    if (line_number == 1 && raw.rfind("\xEF\xBB\xBF", 0) == 0) raw.erase(0, 3);
    const std::wstring line = Trim(FromUtf8(raw));
    if (line.empty() || line[0] == L';') continue;
    if (line_number == 1 &&
        (line == L"Windows Registry Editor Version 5.00" || line == L"REGEDIT4")) {
      continue;
    }
    bool malformed = false;
    if (line[0] == L'[') {
      if (line.back() == L']') {
        section = NormalizeKey(line.substr(1, line.size() - 2));
      } else {
        malformed = true;
      }
    } else {
      std::optional<std::wstring> value_name;
      size_t pos = 0;
      if (line[0] == L'@') {
        value_name = std::wstring();
        pos = 1;
      } else {
        value_name = ParseQuoted(line, pos);
      }
      const size_t equals = value_name ? line.find_first_not_of(L" \t", pos) : std::wstring::npos;
      if (equals == std::wstring::npos || line[equals] != L'=') {
        malformed = true;
      } else {
        std::optional<Value> value = ParseData(Trim(line.substr(equals + 1)));
        if (!value) {
          malformed = true;
        } else if (EqualsIgnoringCase(section, wanted_key) &&
                   EqualsIgnoringCase(*value_name, name)) {
          found = value;  // A later line for the same value wins, as in an import.
        }
      }
    }
    if (malformed) {
      std::fprintf(stderr, "%s:%d: ignoring a line that is not a key or a value\n", path.c_str(),
                   line_number);
    }
  }
  return found;
}

}  // namespace
}  // namespace win32_posix

using namespace win32_posix;

extern "C" {

LSTATUS WINAPI RegGetValueW(HKEY key, LPCWSTR sub_key, LPCWSTR value_name, DWORD flags,
                            LPDWORD type, PVOID data, LPDWORD data_size) {
  const wchar_t* root = RootName(key);
  if (root == nullptr) return ERROR_INVALID_HANDLE;
  if ((flags & RRF_RT_ANY) == 0 || (data != nullptr && data_size == nullptr)) {
    return ERROR_INVALID_PARAMETER;
  }
  const auto fail = [&](LSTATUS status) {
    if ((flags & RRF_ZEROONFAILURE) && data != nullptr && data_size != nullptr) {
      std::memset(data, 0, *data_size);
    }
    return status;
  };
  std::wstring path = root;
  if (sub_key != nullptr && sub_key[0] != L'\0') path += std::wstring(L"\\") + sub_key;
  std::optional<Value> value = Lookup(path, value_name != nullptr ? value_name : L"");
  if (!value) return fail(ERROR_FILE_NOT_FOUND);
  const bool allowed = (value->type == REG_DWORD && (flags & RRF_RT_REG_DWORD)) ||
                       (value->type == REG_SZ && (flags & RRF_RT_REG_SZ));
  if (!allowed) return fail(ERROR_UNSUPPORTED_TYPE);
  const DWORD size = value->type == REG_DWORD
                         ? sizeof(DWORD)
                         : static_cast<DWORD>((value->text.size() + 1) * sizeof(WCHAR));
  if (type != nullptr) *type = value->type;
  if (data == nullptr) {
    if (data_size != nullptr) *data_size = size;
    return ERROR_SUCCESS;
  }
  if (*data_size < size) {
    const LSTATUS status = fail(ERROR_MORE_DATA);
    *data_size = size;
    return status;
  }
  if (value->type == REG_DWORD) {
    std::memcpy(data, &value->number, sizeof(DWORD));
  } else {
    std::memcpy(data, value->text.c_str(), size);
  }
  *data_size = size;
  return ERROR_SUCCESS;
}

}  // extern "C"
