#ifndef TERVALA_APP_HEARTBEAT_BASE64_H_
#define TERVALA_APP_HEARTBEAT_BASE64_H_

// Base64 text of binary data: the standard alphabet ('+', '/') and the web-safe one
// ('-', '_'), each with or without '=' padding, and one strict decoder for all of them.

#include <cstddef>
#include <string>

namespace nimbus {
namespace heartbeat {

// Encoders. Each writes the text of `input` to `output`, which may be the same object as
// `input`, and returns false only when `output` is null.
bool Base64Encode(const std::string& input, std::string* output);
bool Base64EncodeWithPadding(const std::string& input, std::string* output);
bool Base64EncodeUrlSafe(const std::string& input, std::string* output);
bool Base64EncodeUrlSafeWithPadding(const std::string& input, std::string* output);

// Decodes text in either alphabet (or a mix of them), padded or not. The decoder is strict:
// it refuses characters outside the two alphabets, misplaced or partial padding, a length
// of 4k + 1 and non-zero bits hidden by padding. On success the bytes replace `output`
// (which may be the same object as `input`); on failure `output` is left unchanged.
bool Base64Decode(const std::string& input, std::string* output);

// The padded encoded length of `input_size` bytes.
size_t GetEncodedSize(size_t input_size);

// The number of bytes that `encoded` decodes to if it is valid; 0 for a length of 4k + 1.
size_t GetDecodedSize(const std::string& encoded);

}  // namespace heartbeat
}  // namespace nimbus

#endif  // TERVALA_APP_HEARTBEAT_BASE64_H_
