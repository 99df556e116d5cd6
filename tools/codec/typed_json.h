#ifndef TERVALA_TOOLS_CODEC_TYPED_JSON_H_
#define TERVALA_TOOLS_CODEC_TYPED_JSON_H_

// Typed JSON: a JSON form of encodable values that names every alternative, so that a
// value converts to text and back without loss. One form per alternative:
//   null, true, false
//   {"i32":N}  {"i64":N}  {"f64":X}  {"str":"text"}  {"str_hex":"hex"}  {"u8":"hex"}
//   {"i32s":[...]}  {"i64s":[...]}  {"f64s":[...]}  {"f32s":[...]}
//   {"list":[v,...]}  {"map":[[k,v],...]}
//   {"options":[v0,...,v13]}  {"response":[v0,v1,v2,v3]}   (plug-in records)
// Floating-point values are JSON numbers that read back to the same bits, or one of
// "NaN", "Infinity", "-Infinity" and "-0.0". Text that is not valid UTF-8 uses "str_hex".

#include <optional>
#include <string>
#include <string_view>

#include "embedding_client/encodable_value.h"

namespace tervala::codec_tool {

// Whether the plug-in records (the custom values of the plug-in codec) may appear.
enum class Records { kNone, kPlugin };

// The compact typed JSON of `value`. Custom values other than the plug-in records
// (which a decoder never produces) are written as null.
std::string ToTypedJson(const vela::EncodableValue& value);

// The value of a typed JSON text. On failure returns nothing and sets `error` to a
// one-line description.
std::optional<vela::EncodableValue> FromTypedJson(std::string_view text, Records records,
                                                  std::string* error);

}  // namespace tervala::codec_tool

#endif  // TERVALA_TOOLS_CODEC_TYPED_JSON_H_
