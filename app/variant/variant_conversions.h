#ifndef TERVALA_APP_VARIANT_VARIANT_CONVERSIONS_H_
#define TERVALA_APP_VARIANT_VARIANT_CONVERSIONS_H_

// Conversions of Variant trees to and from JSON text and flexbuffers, the schema-less
// binary format of the FlatBuffers library.

#include <flatbuffers/flexbuffers.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/variant/variant.h"

namespace nimbus {

// JSON text of a variant: compact, or indented by two spaces per level with
// `pretty_print`. Map keys must be numbers, Bool or strings and are written as the JSON
// strings of their AsString text. Strings are escaped to ASCII; bytes that are not UTF-8
// are written as U+FFFD. Empty (with an error-level message) when the tree holds a blob, a
// key of another type or a double that is not finite.
std::string VariantToJson(const Variant& variant, bool pretty_print = false);
std::string VariantMapToJson(const std::map<Variant, Variant>& map, bool pretty_print = false);
std::string VariantVectorToJson(const std::vector<Variant>& vector, bool pretty_print = false);

// The variant of strict JSON text: objects become maps with string keys, arrays vectors,
// integers Int64 (integers beyond its range Double), other numbers Double, strings
// MutableString (cut at an embedded NUL). Null when the text is null or not valid JSON,
// with the reason in *error when given; nothing is logged.
Variant JsonToVariant(const char* json, std::string* error = nullptr);

// The flexbuffer of a variant; empty (with an error-level message) when the tree holds a
// blob or a map key that is not a number, Bool or string.
std::vector<uint8_t> VariantToFlexbuffer(const Variant& variant);
std::vector<uint8_t> VariantMapToFlexbuffer(const std::map<Variant, Variant>& map);
std::vector<uint8_t> VariantVectorToFlexbuffer(const std::vector<Variant>& vector);

// The variant of a flexbuffer value. These trust the buffer behind the reference; use the
// overload over bytes for data from outside. Null, with an error-level message, when the
// value holds a blob or an unknown type anywhere.
Variant FlexbufferToVariant(const flexbuffers::Reference& reference);
Variant FlexbufferToVariant(const flexbuffers::Map& map);
Variant FlexbufferToVariant(const flexbuffers::Vector& vector);

// The variant of the flexbuffer in [data, data + size), which may come from anywhere: it
// is verified first, and its reading stays within the buffer and within a bounded
// expansion of it (shared values cannot multiply into an unbounded tree). Null on failure,
// with the reason in *error when given.
Variant FlexbufferToVariant(const uint8_t* data, size_t size, std::string* error = nullptr);

}  // namespace nimbus

#endif  // TERVALA_APP_VARIANT_VARIANT_CONVERSIONS_H_
