#ifndef TERVALA_APP_VARIANT_STRICT_JSON_H_
#define TERVALA_APP_VARIANT_STRICT_JSON_H_

// A strict check of JSON text (RFC 8259) ahead of the FlatBuffers parser, which on its own
// accepts a relaxed syntax, ignores text after the value and reads integers beyond the
// 64-bit range as 0.

#include <string>

namespace nimbus {

// Checks that `text` is exactly one JSON value, nested at most `max_depth` deep, with
// optional whitespace around it, and no number beyond the range of a double. On success returns true and, when the text has integers
// beyond the 64-bit range, sets *rewritten to the text with those integers marked as
// decimals (so that they are read as doubles), or leaves it empty. On failure sets *error
// to a message with the byte offset.
bool CheckStrictJson(const char* text, int max_depth, std::string* rewritten, std::string* error);

}  // namespace nimbus

#endif  // TERVALA_APP_VARIANT_STRICT_JSON_H_
