#include "app/variant/variant_conversions.h"

#include <flatbuffers/idl.h>
#include <flatbuffers/util.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "app/log.h"
#include "app/variant/strict_json.h"

namespace nimbus {
namespace {

constexpr char kBlobMessage[] = "Variants containing blobs are not supported.";
constexpr char kKeyMessage[] = "Variants of non-fundamental types may not be used as map keys.";
constexpr char kNonFiniteMessage[] = "Variants containing non-finite doubles are not supported.";
constexpr char kReadBlobMessage[] = "Flexbuffers containing blobs are not supported.";

// The deepest nesting of JSON text that is read; the FlatBuffers parser has the same limit.
constexpr int kMaxJsonDepth = 64;

bool IsValidMapKey(const Variant& key) { return key.is_fundamental_type() && !key.is_null(); }

// ---------------------------------------------------------------------------------------
// JSON writing

// Appends `text` (up to its NUL) as a JSON string. Bytes that are not UTF-8 become U+FFFD
// first, so the result is always valid JSON.
void AppendJsonString(const char* text, std::string* out) {
  const size_t length = std::strlen(text);
  const char* p = text;
  const char* const end = text + length;
  bool valid = true;
  while (p < end) {
    if (static_cast<unsigned char>(*p) < 0x80) {
      ++p;
      continue;
    }
    // FromUTF8 stops at the NUL after the text, so it never reads beyond it.
    if (flatbuffers::FromUTF8(&p) < 0) {
      valid = false;
      break;
    }
  }
  if (valid) {
    flatbuffers::EscapeString(text, length, out, false, false);
    return;
  }
  std::string clean;
  clean.reserve(length + 8);
  p = text;
  while (p < end) {
    if (static_cast<unsigned char>(*p) < 0x80) {
      clean += *p++;
      continue;
    }
    const char* next = p;
    if (flatbuffers::FromUTF8(&next) < 0) {
      clean += "\xEF\xBF\xBD";
      ++p;
    } else {
      clean.append(p, next);
      p = next;
    }
  }
  flatbuffers::EscapeString(clean.c_str(), clean.size(), out, false, false);
}

class JsonWriter {
 public:
  explicit JsonWriter(bool pretty) : pretty_(pretty) {}

  std::string Take() { return std::move(text_); }

  bool Value(const Variant& value, size_t indent) {
    switch (value.type()) {
      case Variant::kInternalTypeNull:
        text_ += "null";
        return true;
      case Variant::kInternalTypeBool:
        text_ += value.bool_value() ? "true" : "false";
        return true;
      case Variant::kInternalTypeInt64: {
        char buffer[24];
        const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value.int64_value());
        text_.append(buffer, result.ptr);
        return true;
      }
      case Variant::kInternalTypeDouble:
        return Double(value.double_value());
      case Variant::kInternalTypeStaticString:
      case Variant::kInternalTypeMutableString:
      case Variant::kInternalTypeSmallString:
        AppendJsonString(value.string_value(), &text_);
        return true;
      case Variant::kInternalTypeVector:
        return Vector(value.vector(), indent);
      case Variant::kInternalTypeMap:
        return Map(value.map(), indent);
      default:
        LogError(kBlobMessage);
        return false;
    }
  }

  bool Vector(const std::vector<Variant>& vector, size_t indent) {
    text_ += '[';
    for (size_t i = 0; i < vector.size(); ++i) {
      if (i > 0) text_ += ',';
      NewLine(indent + 2);
      if (!Value(vector[i], indent + 2)) return false;
    }
    if (!vector.empty()) NewLine(indent);
    text_ += ']';
    return true;
  }

  bool Map(const std::map<Variant, Variant>& map, size_t indent) {
    text_ += '{';
    bool first = true;
    for (const auto& [key, value] : map) {
      if (!IsValidMapKey(key)) {
        LogError(kKeyMessage);
        return false;
      }
      if (!first) text_ += ',';
      first = false;
      NewLine(indent + 2);
      AppendJsonString(key.AsString().string_value(), &text_);
      text_ += pretty_ ? ": " : ":";
      if (!Value(value, indent + 2)) return false;
    }
    if (!map.empty()) NewLine(indent);
    text_ += '}';
    return true;
  }

 private:
  void NewLine(size_t indent) {
    if (!pretty_) return;
    text_ += '\n';
    text_.append(indent, ' ');
  }

  // Seventeen significant digits, as printf's %.17g: enough to read back the same double.
  bool Double(double value) {
    if (!std::isfinite(value)) {
      LogError(kNonFiniteMessage);
      return false;
    }
    char buffer[32];
    const auto result =
        std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::general, 17);
    text_.append(buffer, result.ptr);
    return true;
  }

  const bool pretty_;
  std::string text_;
};

// ---------------------------------------------------------------------------------------
// Flexbuffer writing

class FlexbufferWriter {
 public:
  FlexbufferWriter() : builder_(512, flexbuffers::BUILDER_FLAG_SHARE_KEYS) {}

  std::vector<uint8_t> Finish() {
    builder_.Finish();
    return builder_.GetBuffer();
  }

  bool Value(const Variant& value) {
    switch (value.type()) {
      case Variant::kInternalTypeNull:
        builder_.Null();
        return true;
      case Variant::kInternalTypeInt64:
        builder_.Int(value.int64_value());
        return true;
      case Variant::kInternalTypeDouble:
        builder_.Double(value.double_value());
        return true;
      case Variant::kInternalTypeBool:
        builder_.Bool(value.bool_value());
        return true;
      case Variant::kInternalTypeStaticString:
      case Variant::kInternalTypeMutableString:
      case Variant::kInternalTypeSmallString: {
        const char* text = value.string_value();
        builder_.String(text, std::strlen(text));
        return true;
      }
      case Variant::kInternalTypeVector:
        return Vector(value.vector());
      case Variant::kInternalTypeMap:
        return Map(value.map());
      default:
        LogError(kBlobMessage);
        return false;
    }
  }

  // A failure leaves the builder unfinished; it is then dropped.
  bool Vector(const std::vector<Variant>& vector) {
    const size_t start = builder_.StartVector();
    for (const Variant& element : vector) {
      if (!Value(element)) return false;
    }
    builder_.EndVector(start, false, false);
    return true;
  }

  bool Map(const std::map<Variant, Variant>& map) {
    const size_t start = builder_.StartMap();
    for (const auto& [key, value] : map) {
      if (!IsValidMapKey(key)) {
        LogError(kKeyMessage);
        return false;
      }
      const Variant key_text = key.AsString();
      const char* text = key_text.string_value();
      builder_.Key(text, std::strlen(text));
      if (!Value(value)) return false;
    }
    builder_.EndMap(start);
    return true;
  }

 private:
  flexbuffers::Builder builder_;
};

// ---------------------------------------------------------------------------------------
// Flexbuffer reading

class FlexbufferReader {
 public:
  // A reader of a trusted buffer.
  FlexbufferReader() = default;
  // A reader of the verified buffer [begin, end) that makes at most `node_budget`
  // variants and `text_budget` bytes of text.
  FlexbufferReader(const uint8_t* begin, const uint8_t* end, size_t node_budget, size_t text_budget)
      : begin_(begin), end_(end), node_budget_(node_budget), text_budget_(text_budget) {}

  const std::string& error() const { return error_; }

  bool Read(const flexbuffers::Reference& reference, Variant* out) {
    if (!CountNode()) return false;
    const flexbuffers::Type type = reference.GetType();
    switch (type) {
      case flexbuffers::FBT_NULL:
        *out = Variant();
        return true;
      case flexbuffers::FBT_INT:
      case flexbuffers::FBT_INDIRECT_INT:
        *out = Variant(reference.AsInt64());
        return true;
      case flexbuffers::FBT_UINT:
      case flexbuffers::FBT_INDIRECT_UINT: {
        // Beyond the Int64 range the value is kept as a double, not wrapped negative.
        const uint64_t value = reference.AsUInt64();
        if (value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
          *out = Variant(static_cast<double>(value));
        } else {
          *out = Variant(static_cast<int64_t>(value));
        }
        return true;
      }
      case flexbuffers::FBT_FLOAT:
      case flexbuffers::FBT_INDIRECT_FLOAT:
        *out = Variant(reference.AsDouble());
        return true;
      case flexbuffers::FBT_BOOL:
        *out = Variant(reference.AsBool());
        return true;
      case flexbuffers::FBT_KEY:
        return Key(reference, out);
      case flexbuffers::FBT_STRING: {
        const flexbuffers::String text = reference.AsString();
        return Text(text.c_str(), strnlen(text.c_str(), text.size()), out);
      }
      case flexbuffers::FBT_MAP:
        return Map(reference.AsMap(), out);
      case flexbuffers::FBT_VECTOR:
        return Elements(reference.AsVector(), out);
      case flexbuffers::FBT_VECTOR_INT:
      case flexbuffers::FBT_VECTOR_UINT:
      case flexbuffers::FBT_VECTOR_FLOAT:
      case flexbuffers::FBT_VECTOR_KEY:
      case flexbuffers::FBT_VECTOR_STRING_DEPRECATED:
      case flexbuffers::FBT_VECTOR_BOOL:
        return Elements(reference.AsTypedVector(), out);
      case flexbuffers::FBT_VECTOR_INT2:
      case flexbuffers::FBT_VECTOR_UINT2:
      case flexbuffers::FBT_VECTOR_FLOAT2:
      case flexbuffers::FBT_VECTOR_INT3:
      case flexbuffers::FBT_VECTOR_UINT3:
      case flexbuffers::FBT_VECTOR_FLOAT3:
      case flexbuffers::FBT_VECTOR_INT4:
      case flexbuffers::FBT_VECTOR_UINT4:
      case flexbuffers::FBT_VECTOR_FLOAT4:
        return Elements(reference.AsFixedTypedVector(), out);
      case flexbuffers::FBT_BLOB:
        LogError(kReadBlobMessage);
        return Fail(kReadBlobMessage);
      default:
        LogError("Unknown or unsupported flexbuffer type: %d", static_cast<int>(type));
        return Fail("unknown flexbuffer type " + std::to_string(static_cast<int>(type)));
    }
  }

  bool Map(const flexbuffers::Map& map, Variant* out) {
    const flexbuffers::TypedVector keys = map.Keys();
    const flexbuffers::Vector values = map.Values();
    if (keys.size() != values.size()) return Fail("map with unequal numbers of keys and values");
    Variant result = Variant::EmptyMap();
    auto& entries = result.map();
    for (size_t i = 0; i < values.size(); ++i) {
      const flexbuffers::Reference key_reference = keys[i];
      if (key_reference.GetType() != flexbuffers::FBT_KEY) return Fail("map key is not a key");
      Variant key;
      Variant value;
      if (!CountNode() || !Key(key_reference, &key) || !Read(values[i], &value)) return false;
      // A later equal key replaces an earlier one.
      entries.insert_or_assign(std::move(key), std::move(value));
    }
    *out = std::move(result);
    return true;
  }

  template <typename Container>
  bool Elements(const Container& container, Variant* out) {
    Variant result = Variant::EmptyVector();
    auto& elements = result.vector();
    elements.reserve(std::min<size_t>(container.size(), node_budget_ - nodes_));
    for (size_t i = 0; i < container.size(); ++i) {
      elements.emplace_back();
      if (!Read(container[i], &elements.back())) return false;
    }
    *out = std::move(result);
    return true;
  }

 private:
  bool Fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
    return false;
  }

  bool CountNode() {
    if (++nodes_ > node_budget_) return Fail("flexbuffer expands to more values than it can hold");
    return true;
  }

  bool Key(const flexbuffers::Reference& reference, Variant* out) {
    const char* key = reference.AsKey();
    size_t length;
    if (begin_ != nullptr) {
      // Keys are NUL-terminated; the terminator must lie inside the buffer.
      const auto at = reinterpret_cast<uintptr_t>(key);
      if (at < reinterpret_cast<uintptr_t>(begin_) || at >= reinterpret_cast<uintptr_t>(end_)) {
        return Fail("key outside the buffer");
      }
      const void* nul =
          std::memchr(key, 0, static_cast<size_t>(end_ - reinterpret_cast<const uint8_t*>(key)));
      if (nul == nullptr) return Fail("unterminated key");
      length = static_cast<size_t>(static_cast<const char*>(nul) - key);
    } else {
      length = std::strlen(key);
    }
    return Text(key, length, out);
  }

  // A heap (never inline) string of the text.
  bool Text(const char* text, size_t length, Variant* out) {
    text_ += length;
    if (text_ > text_budget_) return Fail("flexbuffer expands to more text than it can hold");
    out->set_mutable_string(std::string(text, length), false);
    return true;
  }

  const uint8_t* begin_ = nullptr;
  const uint8_t* end_ = nullptr;
  size_t node_budget_ = std::numeric_limits<size_t>::max();
  size_t text_budget_ = std::numeric_limits<size_t>::max();
  size_t nodes_ = 0;
  size_t text_ = 0;
  std::string error_;
};

}  // namespace

std::string VariantToJson(const Variant& variant, bool pretty_print) {
  JsonWriter writer(pretty_print);
  if (!writer.Value(variant, 0)) return std::string();
  return writer.Take();
}

std::string VariantMapToJson(const std::map<Variant, Variant>& map, bool pretty_print) {
  JsonWriter writer(pretty_print);
  if (!writer.Map(map, 0)) return std::string();
  return writer.Take();
}

std::string VariantVectorToJson(const std::vector<Variant>& vector, bool pretty_print) {
  JsonWriter writer(pretty_print);
  if (!writer.Vector(vector, 0)) return std::string();
  return writer.Take();
}

Variant JsonToVariant(const char* json, std::string* error) {
  std::string reason;
  if (json == nullptr) {
    if (error != nullptr) *error = "no JSON text";
    return Variant();
  }
  std::string rewritten;
  if (!CheckStrictJson(json, kMaxJsonDepth, &rewritten, &reason)) {
    if (error != nullptr) *error = reason;
    return Variant();
  }
  flatbuffers::Parser parser;
  flexbuffers::Builder builder(256, flexbuffers::BUILDER_FLAG_SHARE_KEYS);
  if (!parser.ParseFlexBuffer(rewritten.empty() ? json : rewritten.c_str(), nullptr, &builder)) {
    if (error != nullptr) *error = parser.error_;
    return Variant();
  }
  FlexbufferReader reader;
  Variant result;
  if (!reader.Read(flexbuffers::GetRoot(builder.GetBuffer()), &result)) {
    if (error != nullptr) *error = reader.error();
    return Variant();
  }
  return result;
}

std::vector<uint8_t> VariantToFlexbuffer(const Variant& variant) {
  FlexbufferWriter writer;
  if (!writer.Value(variant)) return {};
  return writer.Finish();
}

std::vector<uint8_t> VariantMapToFlexbuffer(const std::map<Variant, Variant>& map) {
  FlexbufferWriter writer;
  if (!writer.Map(map)) return {};
  return writer.Finish();
}

std::vector<uint8_t> VariantVectorToFlexbuffer(const std::vector<Variant>& vector) {
  FlexbufferWriter writer;
  if (!writer.Vector(vector)) return {};
  return writer.Finish();
}

Variant FlexbufferToVariant(const flexbuffers::Reference& reference) {
  FlexbufferReader reader;
  Variant result;
  // Returned as it stands: a copy would turn short heap strings into inline ones.
  if (!reader.Read(reference, &result)) return Variant();
  return result;
}

Variant FlexbufferToVariant(const flexbuffers::Map& map) {
  FlexbufferReader reader;
  Variant result;
  // Returned as it stands: a copy would turn short heap strings into inline ones.
  if (!reader.Map(map, &result)) return Variant();
  return result;
}

Variant FlexbufferToVariant(const flexbuffers::Vector& vector) {
  FlexbufferReader reader;
  Variant result;
  // Returned as it stands: a copy would turn short heap strings into inline ones.
  if (!reader.Elements(vector, &result)) return Variant();
  return result;
}

Variant FlexbufferToVariant(const uint8_t* data, size_t size, std::string* error) {
  auto fail = [error](const std::string& reason) {
    if (error != nullptr) *error = reason;
    return Variant();
  };
  if (data == nullptr || size == 0) return fail("empty flexbuffer");
  if (size >= FLATBUFFERS_MAX_BUFFER_SIZE) return fail("flexbuffer too large");
  if (!flexbuffers::VerifyBuffer(data, size)) return fail("not a valid flexbuffer");
  // Every value of a flexbuffer takes at least one byte of it; text may be shared, so it
  // is allowed a generous multiple of the buffer.
  FlexbufferReader reader(data, data + size, size + 1, 64 * size + 65536);
  Variant result;
  if (!reader.Read(flexbuffers::GetRoot(data, size), &result)) return fail(reader.error());
  return result;
}

}  // namespace nimbus
