#include "app/variant/strict_json.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace nimbus {
namespace {

class StrictJsonChecker {
 public:
  StrictJsonChecker(const char* text, int max_depth)
      : text_(text), p_(text), max_depth_(max_depth) {}

  bool Check() {
    SkipWhitespace();
    if (!Value(0)) return false;
    SkipWhitespace();
    if (*p_ != '\0') return Fail("unexpected text after the JSON value");
    return true;
  }

  const std::string& error() const { return error_; }
  // Offsets just past integer tokens beyond the 64-bit range.
  const std::vector<size_t>& wide_integer_ends() const { return wide_integer_ends_; }

 private:
  bool Fail(const char* message) {
    error_ = std::string(message) + " at offset " + std::to_string(p_ - text_);
    return false;
  }

  void SkipWhitespace() {
    while (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r') ++p_;
  }

  bool Literal(const char* word) {
    const size_t length = std::strlen(word);
    if (std::strncmp(p_, word, length) != 0) return Fail("invalid literal");
    p_ += length;
    return true;
  }

  bool Value(int depth) {
    switch (*p_) {
      case '{':
        return Object(depth + 1);
      case '[':
        return Array(depth + 1);
      case '"':
        return String();
      case 't':
        return Literal("true");
      case 'f':
        return Literal("false");
      case 'n':
        return Literal("null");
      case '\0':
        return Fail("unexpected end of text");
      default:
        if (*p_ == '-' || (*p_ >= '0' && *p_ <= '9')) return Number();
        return Fail("unexpected character");
    }
  }

  bool Object(int depth) {
    if (depth > max_depth_) return Fail("nesting too deep");
    ++p_;  // '{'
    SkipWhitespace();
    if (*p_ == '}') {
      ++p_;
      return true;
    }
    for (;;) {
      if (*p_ != '"') return Fail("expected a string key");
      if (!String()) return false;
      SkipWhitespace();
      if (*p_ != ':') return Fail("expected ':'");
      ++p_;
      SkipWhitespace();
      if (!Value(depth)) return false;
      SkipWhitespace();
      if (*p_ == '}') {
        ++p_;
        return true;
      }
      if (*p_ != ',') return Fail("expected ',' or '}'");
      ++p_;
      SkipWhitespace();
    }
  }

  bool Array(int depth) {
    if (depth > max_depth_) return Fail("nesting too deep");
    ++p_;  // '['
    SkipWhitespace();
    if (*p_ == ']') {
      ++p_;
      return true;
    }
    for (;;) {
      if (!Value(depth)) return false;
      SkipWhitespace();
      if (*p_ == ']') {
        ++p_;
        return true;
      }
      if (*p_ != ',') return Fail("expected ',' or ']'");
      ++p_;
      SkipWhitespace();
    }
  }

  static bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  }

  // The UTF-8 and surrogate checks are left to the parser, which makes them too.
  bool String() {
    ++p_;  // '"'
    for (;;) {
      const unsigned char c = static_cast<unsigned char>(*p_);
      if (c == '"') {
        ++p_;
        return true;
      }
      if (c == '\0') return Fail("unterminated string");
      if (c < 0x20) return Fail("control character in string");
      if (c != '\\') {
        ++p_;
        continue;
      }
      ++p_;
      switch (*p_) {
        case '"':
        case '\\':
        case '/':
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't':
          ++p_;
          break;
        case 'u':
          for (int i = 1; i <= 4; ++i) {
            if (!IsHex(p_[i])) return Fail("invalid \\u escape");
          }
          p_ += 5;
          break;
        default:
          return Fail("invalid escape");
      }
    }
  }

  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  bool Number() {
    const char* start = p_;
    if (*p_ == '-') ++p_;
    if (*p_ == '0') {
      ++p_;
    } else if (*p_ >= '1' && *p_ <= '9') {
      while (IsDigit(*p_)) ++p_;
    } else {
      return Fail("invalid number");
    }
    bool integer = true;
    if (*p_ == '.') {
      integer = false;
      ++p_;
      if (!IsDigit(*p_)) return Fail("invalid number");
      while (IsDigit(*p_)) ++p_;
    }
    if (*p_ == 'e' || *p_ == 'E') {
      integer = false;
      ++p_;
      if (*p_ == '+' || *p_ == '-') ++p_;
      if (!IsDigit(*p_)) return Fail("invalid number");
      while (IsDigit(*p_)) ++p_;
    }
    if (integer) {
      errno = 0;
      std::strtoll(start, nullptr, 10);
      if (errno != ERANGE) return true;
      wide_integer_ends_.push_back(static_cast<size_t>(p_ - text_));
    }
    // Read as a double: one beyond its range would become an infinity, which no JSON
    // text can hold, so the value could never be written back.
    if (std::isinf(std::strtod(start, nullptr))) {
      p_ = start;
      return Fail("number out of range");
    }
    return true;
  }

  const char* text_;
  const char* p_;
  const int max_depth_;
  std::string error_;
  std::vector<size_t> wide_integer_ends_;
};

}  // namespace

bool CheckStrictJson(const char* text, int max_depth, std::string* rewritten, std::string* error) {
  rewritten->clear();
  StrictJsonChecker checker(text, max_depth);
  if (!checker.Check()) {
    *error = checker.error();
    return false;
  }
  const auto& ends = checker.wide_integer_ends();
  if (!ends.empty()) {
    size_t from = 0;
    for (size_t end : ends) {
      rewritten->append(text + from, end - from);
      rewritten->append(".0");
      from = end;
    }
    rewritten->append(text + from);
  }
  return true;
}

}  // namespace nimbus
