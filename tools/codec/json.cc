#include "tools/codec/json.h"

#include <cstdint>
#include <tuple>

namespace tervala::codec_tool {
namespace {

// Deep enough for any value the codec itself accepts, in its typed form.
constexpr int kMaxDepth = 1024;

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  std::optional<Json> ParseDocument(std::string* error) {
    std::optional<Json> value = ParseValue(0);
    if (value) {
      SkipSpace();
      if (position_ != text_.size()) {
        value.reset();
        Fail("unexpected text after the value");
      }
    }
    if (!value && error) *error = error_ + " at offset " + std::to_string(error_position_);
    return value;
  }

 private:
  std::optional<Json> ParseValue(int depth) {
    SkipSpace();
    if (depth > kMaxDepth) return Fail("nesting too deep");
    if (position_ >= text_.size()) return Fail("unexpected end of input");
    Json value;
    switch (text_[position_]) {
      case '{':
        value.kind = Json::Kind::kObject;
        if (!ParseObject(&value, depth)) return std::nullopt;
        return value;
      case '[':
        value.kind = Json::Kind::kArray;
        if (!ParseArray(&value, depth)) return std::nullopt;
        return value;
      case '"':
        value.kind = Json::Kind::kString;
        if (!ParseString(&value.text)) return std::nullopt;
        return value;
      case 't':
      case 'f':
      case 'n':
        return ParseLiteral();
      default:
        value.kind = Json::Kind::kNumber;
        if (!ParseNumber(&value.text)) return std::nullopt;
        return value;
    }
  }

  bool ParseObject(Json* object, int depth) {
    ++position_;  // '{'
    SkipSpace();
    if (Consume('}')) return true;
    while (true) {
      SkipSpace();
      if (position_ >= text_.size() || text_[position_] != '"') {
        Fail("expected a member name");
        return false;
      }
      std::string name;
      if (!ParseString(&name)) return false;
      SkipSpace();
      if (!Consume(':')) {
        Fail("expected ':'");
        return false;
      }
      std::optional<Json> member = ParseValue(depth + 1);
      if (!member) return false;
      object->members.emplace_back(std::move(name), std::move(*member));
      SkipSpace();
      if (Consume('}')) return true;
      if (!Consume(',')) {
        Fail("expected ',' or '}'");
        return false;
      }
    }
  }

  bool ParseArray(Json* array, int depth) {
    ++position_;  // '['
    SkipSpace();
    if (Consume(']')) return true;
    while (true) {
      std::optional<Json> item = ParseValue(depth + 1);
      if (!item) return false;
      array->items.push_back(std::move(*item));
      SkipSpace();
      if (Consume(']')) return true;
      if (!Consume(',')) {
        Fail("expected ',' or ']'");
        return false;
      }
    }
  }

  std::optional<Json> ParseLiteral() {
    Json value;
    for (auto [word, kind, boolean] : {std::tuple{"true", Json::Kind::kBool, true},
                                       std::tuple{"false", Json::Kind::kBool, false},
                                       std::tuple{"null", Json::Kind::kNull, false}}) {
      if (text_.substr(position_).starts_with(word)) {
        position_ += std::string_view(word).size();
        value.kind = kind;
        value.boolean = boolean;
        return value;
      }
    }
    return Fail("unexpected character");
  }

  // The JSON number grammar; the text is kept as written.
  bool ParseNumber(std::string* out) {
    const size_t start = position_;
    Consume('-');
    if (Consume('0')) {
    } else if (!SkipDigits()) {
      Fail(position_ == start ? "unexpected character" : "invalid number");
      return false;
    }
    if (Consume('.') && !SkipDigits()) {
      Fail("invalid number");
      return false;
    }
    if (Consume('e') || Consume('E')) {
      if (!Consume('+')) Consume('-');
      if (!SkipDigits()) {
        Fail("invalid number");
        return false;
      }
    }
    out->assign(text_.substr(start, position_ - start));
    return true;
  }

  bool ParseString(std::string* out) {
    const size_t start = position_;
    ++position_;  // '"'
    while (true) {
      if (position_ >= text_.size()) {
        Fail("unterminated string");
        return false;
      }
      const char c = text_[position_];
      if (c == '"') {
        ++position_;
        break;
      }
      if (static_cast<unsigned char>(c) < 0x20) {
        Fail("control character in string");
        return false;
      }
      if (c != '\\') {
        out->push_back(c);
        ++position_;
        continue;
      }
      ++position_;
      if (position_ >= text_.size()) {
        Fail("unterminated string");
        return false;
      }
      const char escape = text_[position_++];
      switch (escape) {
        case '"':
          out->push_back('"');
          break;
        case '\\':
          out->push_back('\\');
          break;
        case '/':
          out->push_back('/');
          break;
        case 'b':
          out->push_back('\b');
          break;
        case 'f':
          out->push_back('\f');
          break;
        case 'n':
          out->push_back('\n');
          break;
        case 'r':
          out->push_back('\r');
          break;
        case 't':
          out->push_back('\t');
          break;
        case 'u':
          if (!ParseUnicodeEscape(out)) return false;
          break;
        default:
          Fail("invalid escape");
          return false;
      }
    }
    if (!IsValidUtf8(*out)) {
      error_position_ = start;
      error_ = "string is not valid UTF-8";
      return false;
    }
    return true;
  }

  // After "\u": one code unit, or a surrogate pair written as two escapes.
  bool ParseUnicodeEscape(std::string* out) {
    std::optional<uint32_t> unit = ReadHex4();
    if (!unit) return false;
    uint32_t code_point = *unit;
    if (code_point >= 0xDC00 && code_point <= 0xDFFF) {
      Fail("lone surrogate in string");
      return false;
    }
    if (code_point >= 0xD800 && code_point <= 0xDBFF) {
      if (!Consume('\\') || !Consume('u')) {
        Fail("lone surrogate in string");
        return false;
      }
      std::optional<uint32_t> low = ReadHex4();
      if (!low) return false;
      if (*low < 0xDC00 || *low > 0xDFFF) {
        Fail("lone surrogate in string");
        return false;
      }
      code_point = 0x10000 + ((code_point - 0xD800) << 10) + (*low - 0xDC00);
    }
    AppendUtf8(code_point, out);
    return true;
  }

  std::optional<uint32_t> ReadHex4() {
    if (text_.size() - position_ < 4) {
      Fail("invalid \\u escape");
      return std::nullopt;
    }
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[position_++];
      value <<= 4;
      if (c >= '0' && c <= '9') {
        value |= static_cast<uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        value |= static_cast<uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        value |= static_cast<uint32_t>(c - 'A' + 10);
      } else {
        Fail("invalid \\u escape");
        return std::nullopt;
      }
    }
    return value;
  }

  static void AppendUtf8(uint32_t code_point, std::string* out) {
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

  bool SkipDigits() {
    const size_t start = position_;
    while (position_ < text_.size() && text_[position_] >= '0' && text_[position_] <= '9') {
      ++position_;
    }
    return position_ != start;
  }

  void SkipSpace() {
    while (position_ < text_.size() && (text_[position_] == ' ' || text_[position_] == '\t' ||
                                        text_[position_] == '\n' || text_[position_] == '\r')) {
      ++position_;
    }
  }

  bool Consume(char c) {
    if (position_ < text_.size() && text_[position_] == c) {
      ++position_;
      return true;
    }
    return false;
  }

  std::nullopt_t Fail(const char* message) {
    if (error_.empty()) {
      error_ = message;
      error_position_ = position_;
    }
    return std::nullopt;
  }

  std::string_view text_;
  size_t position_ = 0;
  std::string error_;
  size_t error_position_ = 0;
};

}  // namespace

std::optional<Json> ParseJson(std::string_view text, std::string* error) {
  return Parser(text).ParseDocument(error);
}

void AppendJsonString(std::string_view text, std::string* out) {
  static constexpr char kHex[] = "0123456789abcdef";
  out->push_back('"');
  for (char c : text) {
    switch (c) {
      case '"':
        out->append("\\\"");
        break;
      case '\\':
        out->append("\\\\");
        break;
      case '\b':
        out->append("\\b");
        break;
      case '\f':
        out->append("\\f");
        break;
      case '\n':
        out->append("\\n");
        break;
      case '\r':
        out->append("\\r");
        break;
      case '\t':
        out->append("\\t");
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
          out->append("\\u00");
          out->push_back(kHex[(c >> 4) & 0xF]);
          out->push_back(kHex[c & 0xF]);
        } else {
          out->push_back(c);
        }
    }
  }
  out->push_back('"');
}

bool IsValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      ++i;
      continue;
    }
    size_t length;
    uint32_t code_point;
    if ((byte & 0xE0) == 0xC0) {
      length = 2;
      code_point = byte & 0x1F;
    } else if ((byte & 0xF0) == 0xE0) {
      length = 3;
      code_point = byte & 0x0F;
    } else if ((byte & 0xF8) == 0xF0) {
      length = 4;
      code_point = byte & 0x07;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (size_t j = 1; j < length; ++j) {
      const auto continuation = static_cast<unsigned char>(text[i + j]);
      if ((continuation & 0xC0) != 0x80) return false;
      code_point = (code_point << 6) | (continuation & 0x3F);
    }
    static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code_point < kSmallest[length] || code_point > 0x10FFFF ||
        (code_point >= 0xD800 && code_point <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

}  // namespace tervala::codec_tool
