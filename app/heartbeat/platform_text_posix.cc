// UTF-8 <-> UTF-16 conversion where the platform offers none: the platform's behaviour
// without flags, so malformed input is replaced, never refused.

#include <cerrno>
#include <cstdint>
#include <string>

#include "app/heartbeat/platform_files.h"

namespace nimbus {
namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

void AppendUtf16(char32_t code_point, std::wstring* out) {
  if (code_point < 0x10000) {
    out->push_back(static_cast<wchar_t>(code_point));
  } else {
    code_point -= 0x10000;
    out->push_back(static_cast<wchar_t>(0xD800 + (code_point >> 10)));
    out->push_back(static_cast<wchar_t>(0xDC00 + (code_point & 0x3FF)));
  }
}

void AppendUtf8(char32_t code_point, std::string* out) {
  if (code_point < 0x80) {
    out->push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

// A wchar_t as an unsigned code unit (wchar_t is signed and 32 bits wide on Linux).
uint32_t CodeUnit(wchar_t unit) { return static_cast<uint32_t>(unit); }

}  // namespace

std::wstring Utf8ToNative(const std::string& input, std::string* /*out_error*/) {
  std::wstring result;
  result.reserve(input.size());
  const size_t size = input.size();
  size_t i = 0;
  while (i < size) {
    const auto lead = static_cast<unsigned char>(input[i]);
    ++i;
    if (lead < 0x80) {
      result.push_back(static_cast<wchar_t>(lead));
      continue;
    }
    // The number of continuation bytes and the range allowed for the first of them, which
    // rules out overlong forms, surrogates and values beyond U+10FFFF.
    int needed;
    unsigned char lower = 0x80;
    unsigned char upper = 0xBF;
    char32_t code_point;
    if (lead >= 0xC2 && lead <= 0xDF) {
      needed = 1;
      code_point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      needed = 2;
      code_point = lead & 0x0F;
      if (lead == 0xE0) lower = 0xA0;
      if (lead == 0xED) upper = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      needed = 3;
      code_point = lead & 0x07;
      if (lead == 0xF0) lower = 0x90;
      if (lead == 0xF4) upper = 0x8F;
    } else {
      result.push_back(static_cast<wchar_t>(kReplacementCharacter));
      continue;
    }
    // A sequence cut short becomes one replacement character; the byte that broke it is
    // read again as the start of what follows.
    bool complete = true;
    for (int k = 0; k < needed; ++k) {
      if (i >= size) {
        complete = false;
        break;
      }
      const auto next = static_cast<unsigned char>(input[i]);
      if (next < lower || next > upper) {
        complete = false;
        break;
      }
      code_point = (code_point << 6) | (next & 0x3F);
      lower = 0x80;
      upper = 0xBF;
      ++i;
    }
    AppendUtf16(complete ? code_point : kReplacementCharacter, &result);
  }
  return result;
}

std::string NativeToUtf8(const wchar_t* input, size_t length, std::string* out_error) {
  if (length == 0) return std::string();
  if (input == nullptr) {
    if (out_error) *out_error = "NativeToUtf8 failed with code " + std::to_string(EINVAL);
    return std::string();
  }
  std::string result;
  result.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    const uint32_t unit = CodeUnit(input[i]);
    if (unit > 0xFFFF) {
      AppendUtf8(kReplacementCharacter, &result);
    } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length &&
               CodeUnit(input[i + 1]) >= 0xDC00 && CodeUnit(input[i + 1]) <= 0xDFFF) {
      const char32_t code_point =
          0x10000 + ((unit - 0xD800) << 10) + (CodeUnit(input[i + 1]) - 0xDC00);
      AppendUtf8(code_point, &result);
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(kReplacementCharacter, &result);
    } else {
      AppendUtf8(unit, &result);
    }
  }
  return result;
}

}  // namespace nimbus
