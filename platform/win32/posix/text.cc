// UTF-8 and wide-string conversion for the layer and for MultiByteToWideChar and
// WideCharToMultiByte.
#include <string>
#include <vector>

#include "platform/win32/posix/state.h"

namespace win32_posix {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Decodes UTF-8; malformed sequences (overlong forms, surrogates, values past U+10FFFF,
// truncated or stray bytes) become U+FFFD, one per maximal bad subpart, or with
// `escape_bad_bytes` each of their bytes becomes the lone surrogate U+DC00 + byte. Returns
// false when anything was malformed.
bool DecodeUtf8(const char* text, size_t length, std::u32string& out,
                bool escape_bad_bytes = false) {
  bool valid = true;
  size_t i = 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  const auto bad = [&](size_t from, size_t to) {
    valid = false;
    if (!escape_bad_bytes) {
      out.push_back(kReplacement);
      return;
    }
    for (size_t k = from; k < to; ++k) out.push_back(0xDC00 + bytes[k]);
  };
  while (i < length) {
    const size_t start = i;
    const unsigned char lead = bytes[i];
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    int needed = 0;
    char32_t code = 0;
    char32_t lower = 0x80;
    char32_t upper = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      needed = 1;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      needed = 2;
      code = lead & 0x0F;
      if (lead == 0xE0) lower = 0xA0;
      if (lead == 0xED) upper = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      needed = 3;
      code = lead & 0x07;
      if (lead == 0xF0) lower = 0x90;
      if (lead == 0xF4) upper = 0x8F;
    } else {
      ++i;
      bad(start, i);
      continue;
    }
    ++i;
    bool good = true;
    for (int k = 0; k < needed; ++k) {
      if (i >= length || bytes[i] < lower || bytes[i] > upper) {
        good = false;
        break;
      }
      code = (code << 6) | (bytes[i] & 0x3F);
      lower = 0x80;
      upper = 0xBF;
      ++i;
    }
    if (good) {
      out.push_back(code);
    } else {
      bad(start, i);
    }
  }
  return valid;
}

// Decodes a wide string: code points, or UTF-16 surrogate pairs. Unpaired surrogates and
// values past U+10FFFF become U+FFFD; returns false when there were any.
bool DecodeWide(const wchar_t* text, size_t length, std::u32string& out) {
  bool valid = true;
  for (size_t i = 0; i < length; ++i) {
    const auto c = static_cast<char32_t>(text[i]);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length) {
      const auto next = static_cast<char32_t>(text[i + 1]);
      if (next >= 0xDC00 && next <= 0xDFFF) {
        out.push_back(0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00));
        ++i;
        continue;
      }
    }
    if (IsSurrogate(c) || c > 0x10FFFF) {
      out.push_back(kReplacement);
      valid = false;
    } else {
      out.push_back(c);
    }
  }
  return valid;
}

void EncodeUtf8(const std::u32string& code_points, std::string& out) {
  for (char32_t c : code_points) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
}

bool SupportedCodePage(UINT code_page) { return code_page == CP_UTF8 || code_page == CP_ACP; }

}  // namespace

std::string ToUtf8(const std::wstring& text) {
  std::u32string code_points;
  DecodeWide(text.data(), text.size(), code_points);
  std::string out;
  EncodeUtf8(code_points, out);
  return out;
}

std::wstring FromUtf8(const std::string& text) {
  std::u32string code_points;
  DecodeUtf8(text.data(), text.size(), code_points);
  return std::wstring(code_points.begin(), code_points.end());
}

std::wstring FromUtf8KeepingBadBytes(const std::string& text) {
  std::u32string code_points;
  DecodeUtf8(text.data(), text.size(), code_points, /*escape_bad_bytes=*/true);
  return std::wstring(code_points.begin(), code_points.end());
}

}  // namespace win32_posix

extern "C" {

int WINAPI MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR multi_byte,
                               int multi_byte_length, LPWSTR wide, int wide_length) {
  using namespace win32_posix;
  if (!SupportedCodePage(code_page) || multi_byte == nullptr || multi_byte_length == 0 ||
      multi_byte_length < -1 || wide_length < 0 || (wide == nullptr && wide_length != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if ((flags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  const size_t length = multi_byte_length == -1 ? std::char_traits<char>::length(multi_byte) + 1
                                                : static_cast<size_t>(multi_byte_length);
  std::u32string code_points;
  if (!DecodeUtf8(multi_byte, length, code_points) && (flags & MB_ERR_INVALID_CHARS) != 0) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  const int needed = static_cast<int>(code_points.size());
  if (wide_length == 0) return needed;
  if (needed > wide_length) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  for (size_t i = 0; i < code_points.size(); ++i) wide[i] = static_cast<wchar_t>(code_points[i]);
  return needed;
}

int WINAPI WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR wide, int wide_length,
                               LPSTR multi_byte, int multi_byte_length, LPCSTR default_char,
                               LPBOOL used_default_char) {
  using namespace win32_posix;
  if (!SupportedCodePage(code_page) || wide == nullptr || wide_length == 0 || wide_length < -1 ||
      multi_byte_length < 0 || (multi_byte == nullptr && multi_byte_length != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // As on Windows, UTF-8 allows neither a default character nor its report.
  if (default_char != nullptr || used_default_char != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if ((flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  const size_t length = wide_length == -1 ? std::char_traits<wchar_t>::length(wide) + 1
                                          : static_cast<size_t>(wide_length);
  std::u32string code_points;
  if (!DecodeWide(wide, length, code_points) && (flags & WC_ERR_INVALID_CHARS) != 0) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  std::string out;
  EncodeUtf8(code_points, out);
  const int needed = static_cast<int>(out.size());
  if (multi_byte_length == 0) return needed;
  if (needed > multi_byte_length) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  out.copy(multi_byte, out.size());
  return needed;
}

}  // extern "C"
