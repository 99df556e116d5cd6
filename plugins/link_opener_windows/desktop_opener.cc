#include "plugins/link_opener_windows/desktop_opener.h"

#include <cstddef>

namespace tervala_plugins {
namespace {

constexpr size_t kMaxUrlBytes = 32768;

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool IsOpenableUrl(const std::string& url) {
  if (url.empty() || url.size() > kMaxUrlBytes || !IsAsciiLetter(url[0])) return false;
  size_t colon = 1;
  while (colon < url.size() && (IsAsciiLetter(url[colon]) || IsAsciiDigit(url[colon]) ||
                                url[colon] == '+' || url[colon] == '-' || url[colon] == '.')) {
    ++colon;
  }
  if (colon == url.size() || url[colon] != ':') return false;
  for (char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7f) return false;
  }
  return true;
}

}  // namespace tervala_plugins
