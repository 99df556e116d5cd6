#include "tools/codec/typed_json.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <vector>

#include "nimbus_core_plugin/core_initialize_response.h"
#include "nimbus_core_plugin/core_nimbus_options.h"
#include "tools/codec/json.h"

namespace tervala::codec_tool {
namespace {

using nimbus_core_windows::CoreInitializeResponse;
using nimbus_core_windows::CoreNimbusOptions;
using vela::CustomEncodableValue;
using vela::EncodableList;
using vela::EncodableMap;
using vela::EncodableValue;

constexpr char kHexDigits[] = "0123456789abcdef";

void AppendHex(const uint8_t* bytes, size_t size, std::string* out) {
  out->push_back('"');
  for (size_t i = 0; i < size; ++i) {
    out->push_back(kHexDigits[bytes[i] >> 4]);
    out->push_back(kHexDigits[bytes[i] & 0xF]);
  }
  out->push_back('"');
}

template <typename T>
void AppendNumber(T value, std::string* out) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
  out->append(buffer, result.ptr);
}

// The shortest text that reads back to the same bits, or a name for the values that
// JSON numbers cannot hold.
template <typename F>
void AppendFloating(F value, std::string* out) {
  if (std::isnan(value)) {
    out->append("\"NaN\"");
  } else if (std::isinf(value)) {
    out->append(value > 0 ? "\"Infinity\"" : "\"-Infinity\"");
  } else if (value == 0 && std::signbit(value)) {
    out->append("\"-0.0\"");
  } else {
    AppendNumber(value, out);
  }
}

template <typename T>
void AppendArray(const std::vector<T>& list, std::string* out) {
  out->push_back('[');
  for (size_t i = 0; i < list.size(); ++i) {
    if (i != 0) out->push_back(',');
    if constexpr (std::is_floating_point_v<T>) {
      AppendFloating(list[i], out);
    } else {
      AppendNumber(list[i], out);
    }
  }
  out->push_back(']');
}

void AppendValue(const EncodableValue& value, std::string* out);

void AppendList(const EncodableList& list, std::string* out) {
  out->push_back('[');
  for (size_t i = 0; i < list.size(); ++i) {
    if (i != 0) out->push_back(',');
    AppendValue(list[i], out);
  }
  out->push_back(']');
}

struct Writer {
  std::string* out;

  void operator()(std::monostate) const { out->append("null"); }
  void operator()(bool b) const { out->append(b ? "true" : "false"); }
  void operator()(int32_t i) const {
    out->append("{\"i32\":");
    AppendNumber(i, out);
    out->push_back('}');
  }
  void operator()(int64_t i) const {
    out->append("{\"i64\":");
    AppendNumber(i, out);
    out->push_back('}');
  }
  void operator()(double d) const {
    out->append("{\"f64\":");
    AppendFloating(d, out);
    out->push_back('}');
  }
  void operator()(const std::string& text) const {
    if (IsValidUtf8(text)) {
      out->append("{\"str\":");
      AppendJsonString(text, out);
    } else {
      out->append("{\"str_hex\":");
      AppendHex(reinterpret_cast<const uint8_t*>(text.data()), text.size(), out);
    }
    out->push_back('}');
  }
  void operator()(const std::vector<uint8_t>& bytes) const {
    out->append("{\"u8\":");
    AppendHex(bytes.data(), bytes.size(), out);
    out->push_back('}');
  }
  void operator()(const std::vector<int32_t>& list) const { Typed("i32s", list); }
  void operator()(const std::vector<int64_t>& list) const { Typed("i64s", list); }
  void operator()(const std::vector<double>& list) const { Typed("f64s", list); }
  void operator()(const std::vector<float>& list) const { Typed("f32s", list); }
  void operator()(const EncodableList& list) const {
    out->append("{\"list\":");
    AppendList(list, out);
    out->push_back('}');
  }
  void operator()(const EncodableMap& map) const {
    out->append("{\"map\":[");
    bool first = true;
    for (const auto& [key, element] : map) {
      if (!first) out->push_back(',');
      first = false;
      out->push_back('[');
      AppendValue(key, out);
      out->push_back(',');
      AppendValue(element, out);
      out->push_back(']');
    }
    out->append("]}");
  }
  void operator()(const CustomEncodableValue& custom) const {
    if (const auto* options = custom.GetIf<CoreNimbusOptions>()) {
      out->append("{\"options\":");
      AppendList(options->ToEncodableList(), out);
      out->push_back('}');
    } else if (const auto* response = custom.GetIf<CoreInitializeResponse>()) {
      out->append("{\"response\":");
      AppendList(response->ToEncodableList(), out);
      out->push_back('}');
    } else {
      out->append("null");
    }
  }

  template <typename T>
  void Typed(const char* key, const std::vector<T>& list) const {
    out->append("{\"");
    out->append(key);
    out->append("\":");
    AppendArray(list, out);
    out->push_back('}');
  }
};

void AppendValue(const EncodableValue& value, std::string* out) {
  std::visit(Writer{out}, value.variant());
}

// A fault in the typed form; its text is the one-line description.
class TypedJsonError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

template <typename T>
T ToInteger(const Json& json, const char* form) {
  T value{};
  if (json.kind == Json::Kind::kNumber) {
    const char* end = json.text.data() + json.text.size();
    auto result = std::from_chars(json.text.data(), end, value);
    if (result.ec == std::errc() && result.ptr == end) return value;
  }
  throw TypedJsonError(std::string(form) + " expects integers from " +
                       std::to_string(std::numeric_limits<T>::min()) + " to " +
                       std::to_string(std::numeric_limits<T>::max()));
}

template <typename F>
F ToFloating(const Json& json, const char* form) {
  if (json.kind == Json::Kind::kNumber) {
    F value{};
    const char* end = json.text.data() + json.text.size();
    auto result = std::from_chars(json.text.data(), end, value);
    if (result.ec == std::errc() && result.ptr == end) return value;
  } else if (json.kind == Json::Kind::kString) {
    if (json.text == "NaN") return std::numeric_limits<F>::quiet_NaN();
    if (json.text == "Infinity") return std::numeric_limits<F>::infinity();
    if (json.text == "-Infinity") return -std::numeric_limits<F>::infinity();
    if (json.text == "-0.0") return -F{0};
  }
  throw TypedJsonError(std::string(form) +
                       " expects numbers in range or \"NaN\", \"Infinity\", \"-Infinity\", "
                       "\"-0.0\"");
}

std::string FromHex(const Json& json, const char* form) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (json.kind == Json::Kind::kString && json.text.size() % 2 == 0) {
    std::string bytes;
    bytes.reserve(json.text.size() / 2);
    for (size_t i = 0; i < json.text.size(); i += 2) {
      const int high = digit(json.text[i]);
      const int low = digit(json.text[i + 1]);
      if (high < 0 || low < 0) break;
      bytes.push_back(static_cast<char>(high << 4 | low));
    }
    if (bytes.size() * 2 == json.text.size()) return bytes;
  }
  throw TypedJsonError(std::string(form) + " expects a string of hexadecimal byte pairs");
}

const std::vector<Json>& Items(const Json& json, const char* form) {
  if (json.kind != Json::Kind::kArray)
    throw TypedJsonError(std::string(form) + " expects an array");
  return json.items;
}

class Reader {
 public:
  explicit Reader(Records records) : records_(records) {}

  EncodableValue Value(const Json& json) const {
    switch (json.kind) {
      case Json::Kind::kNull:
        return EncodableValue();
      case Json::Kind::kBool:
        return EncodableValue(json.boolean);
      case Json::Kind::kObject:
        if (json.members.size() == 1) return Tagged(json.members[0].first, json.members[0].second);
        break;
      default:
        break;
    }
    throw TypedJsonError("expected null, true, false or an object with one member naming the type");
  }

 private:
  EncodableValue Tagged(const std::string& form, const Json& body) const {
    if (form == "i32") return EncodableValue(ToInteger<int32_t>(body, "\"i32\""));
    if (form == "i64") return EncodableValue(ToInteger<int64_t>(body, "\"i64\""));
    if (form == "f64") return EncodableValue(ToFloating<double>(body, "\"f64\""));
    if (form == "str") {
      if (body.kind != Json::Kind::kString) throw TypedJsonError("\"str\" expects a string");
      return EncodableValue(body.text);
    }
    if (form == "str_hex") return EncodableValue(FromHex(body, "\"str_hex\""));
    if (form == "u8") {
      std::string bytes = FromHex(body, "\"u8\"");
      return EncodableValue(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }
    if (form == "i32s") return EncodableValue(Numbers<int32_t>(body, "\"i32s\""));
    if (form == "i64s") return EncodableValue(Numbers<int64_t>(body, "\"i64s\""));
    if (form == "f64s") return EncodableValue(Numbers<double>(body, "\"f64s\""));
    if (form == "f32s") return EncodableValue(Numbers<float>(body, "\"f32s\""));
    if (form == "list") return EncodableValue(List(body, "\"list\""));
    if (form == "map") return EncodableValue(Map(body));
    if (form == "options" || form == "response") return Record(form, body);
    throw TypedJsonError("unknown type name \"" + form + "\"");
  }

  template <typename T>
  static std::vector<T> Numbers(const Json& body, const char* form) {
    const std::vector<Json>& items = Items(body, form);
    std::vector<T> numbers;
    numbers.reserve(items.size());
    for (const Json& item : items) {
      if constexpr (std::is_floating_point_v<T>) {
        numbers.push_back(ToFloating<T>(item, form));
      } else {
        numbers.push_back(ToInteger<T>(item, form));
      }
    }
    return numbers;
  }

  EncodableList List(const Json& body, const char* form) const {
    EncodableList list;
    for (const Json& item : Items(body, form)) list.push_back(Value(item));
    return list;
  }

  // Entries in any order; as in a decoded message, the first of repeated keys stays.
  EncodableMap Map(const Json& body) const {
    EncodableMap map;
    for (const Json& entry : Items(body, "\"map\"")) {
      if (entry.kind != Json::Kind::kArray || entry.items.size() != 2) {
        throw TypedJsonError("\"map\" expects [key, value] pairs");
      }
      map.emplace(Value(entry.items[0]), Value(entry.items[1]));
    }
    return map;
  }

  EncodableValue Record(const std::string& form, const Json& body) const {
    if (records_ != Records::kPlugin) {
      throw TypedJsonError("\"" + form + "\" is a plug-in record: use --bridge");
    }
    const bool is_options = form == "options";
    const size_t fields = is_options ? 14 : 4;
    EncodableList list = List(body, is_options ? "\"options\"" : "\"response\"");
    if (list.size() != fields) {
      throw TypedJsonError("\"" + form + "\" expects " + std::to_string(fields) + " values");
    }
    try {
      if (is_options)
        return EncodableValue(CustomEncodableValue(CoreNimbusOptions::FromEncodableList(list)));
      return EncodableValue(CustomEncodableValue(CoreInitializeResponse::FromEncodableList(list)));
    } catch (const std::exception& error) {
      throw TypedJsonError("\"" + form + "\" fields do not fit the record (" + error.what() + ")");
    }
  }

  Records records_;
};

}  // namespace

std::string ToTypedJson(const EncodableValue& value) {
  std::string out;
  AppendValue(value, &out);
  return out;
}

std::optional<EncodableValue> FromTypedJson(std::string_view text, Records records,
                                            std::string* error) {
  std::string json_error;
  std::optional<Json> json = ParseJson(text, &json_error);
  if (!json) {
    if (error) *error = "invalid JSON: " + json_error;
    return std::nullopt;
  }
  try {
    return Reader(records).Value(*json);
  } catch (const TypedJsonError& fault) {
    if (error) *error = std::string("invalid typed JSON: ") + fault.what();
    return std::nullopt;
  }
}

}  // namespace tervala::codec_tool
