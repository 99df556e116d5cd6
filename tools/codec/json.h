#ifndef TERVALA_TOOLS_CODEC_JSON_H_
#define TERVALA_TOOLS_CODEC_JSON_H_

// A small JSON reader and the string escaping of the JSON writer, for the codec tool's
// typed JSON. Numbers keep their text, so that integers and floating-point values are
// converted exactly by the reader of the typed form.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tervala::codec_tool {

// One parsed JSON value.
struct Json {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };

  Kind kind = Kind::kNull;
  bool boolean = false;
  // The number's text as written, or the string's decoded UTF-8 content.
  std::string text;
  std::vector<Json> items;
  // Object members in the order written.
  std::vector<std::pair<std::string, Json>> members;
};

// Parses one JSON value, with optional white space around it. Strings must be valid
// UTF-8 (escapes included; lone surrogates are refused). On failure returns nothing and
// sets `error` to a description with the byte offset of the fault.
std::optional<Json> ParseJson(std::string_view text, std::string* error);

// Appends `text` (valid UTF-8) to `out` as a quoted JSON string.
void AppendJsonString(std::string_view text, std::string* out);

// Whether `text` is well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
bool IsValidUtf8(std::string_view text);

}  // namespace tervala::codec_tool

#endif  // TERVALA_TOOLS_CODEC_JSON_H_
