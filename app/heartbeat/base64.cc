#include "app/heartbeat/base64.h"

#include <array>
#include <cstdint>
#include <utility>

namespace nimbus {
namespace heartbeat {
namespace {

constexpr char kStandardAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kUrlSafeAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

// Decoding table: the 6-bit value of each accepted character, kPad for '=', kInvalid for
// every other byte.
constexpr uint8_t kInvalid = 0xFF;
constexpr uint8_t kPad = 0xFE;

constexpr std::array<uint8_t, 256> MakeDecodeTable() {
  std::array<uint8_t, 256> table{};
  for (auto& entry : table) entry = kInvalid;
  for (uint8_t i = 0; i < 64; ++i) {
    table[static_cast<uint8_t>(kStandardAlphabet[i])] = i;
    table[static_cast<uint8_t>(kUrlSafeAlphabet[i])] = i;
  }
  table['='] = kPad;
  return table;
}

constexpr std::array<uint8_t, 256> kDecodeTable = MakeDecodeTable();

bool Encode(const std::string& input, std::string* output, const char* alphabet, bool pad) {
  if (output == nullptr) return false;
  const size_t size = input.size();
  std::string text;
  text.resize(GetEncodedSize(size));
  const auto* in = reinterpret_cast<const uint8_t*>(input.data());
  char* out = text.data();
  size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    const uint32_t group = (uint32_t{in[i]} << 16) | (uint32_t{in[i + 1]} << 8) | in[i + 2];
    *out++ = alphabet[(group >> 18) & 0x3F];
    *out++ = alphabet[(group >> 12) & 0x3F];
    *out++ = alphabet[(group >> 6) & 0x3F];
    *out++ = alphabet[group & 0x3F];
  }
  const size_t rest = size - i;
  if (rest > 0) {
    uint32_t group = uint32_t{in[i]} << 16;
    if (rest == 2) group |= uint32_t{in[i + 1]} << 8;
    *out++ = alphabet[(group >> 18) & 0x3F];
    *out++ = alphabet[(group >> 12) & 0x3F];
    if (rest == 2) {
      *out++ = alphabet[(group >> 6) & 0x3F];
    } else if (pad) {
      *out++ = '=';
    }
    if (pad) *out++ = '=';
  }
  text.resize(static_cast<size_t>(out - text.data()));
  *output = std::move(text);
  return true;
}

}  // namespace

bool Base64Encode(const std::string& input, std::string* output) {
  return Encode(input, output, kStandardAlphabet, false);
}

bool Base64EncodeWithPadding(const std::string& input, std::string* output) {
  return Encode(input, output, kStandardAlphabet, true);
}

bool Base64EncodeUrlSafe(const std::string& input, std::string* output) {
  return Encode(input, output, kUrlSafeAlphabet, false);
}

bool Base64EncodeUrlSafeWithPadding(const std::string& input, std::string* output) {
  return Encode(input, output, kUrlSafeAlphabet, true);
}

size_t GetEncodedSize(size_t input_size) { return 4 * ((input_size + 2) / 3); }

size_t GetDecodedSize(const std::string& encoded) {
  const size_t length = encoded.size();
  if (length % 4 == 1) return 0;
  size_t size = length / 4 * 3;
  if (length % 4 == 2) size += 1;
  if (length % 4 == 3) size += 2;
  if (length % 4 == 0 && length > 0 && encoded[length - 1] == '=') {
    --size;
    if (encoded[length - 2] == '=') --size;
  }
  return size;
}

bool Base64Decode(const std::string& input, std::string* output) {
  if (output == nullptr) return false;
  const size_t length = input.size();
  if (length % 4 == 1) return false;
  const bool padded_length = length % 4 == 0;

  std::string bytes;
  bytes.resize(GetDecodedSize(input));
  char* out = bytes.data();
  const auto* in = reinterpret_cast<const uint8_t*>(input.data());
  for (size_t start = 0; start < length; start += 4) {
    const bool last_group = start + 4 >= length;
    uint8_t values[4];
    for (size_t k = 0; k < 4; ++k) {
      const size_t position = start + k;
      if (position >= length) {
        // Positions past the end of unpadded text count as padding.
        values[k] = kPad;
        continue;
      }
      values[k] = kDecodeTable[in[position]];
      if (values[k] == kInvalid) return false;
      // Padding must be complete: text whose length is not a multiple of 4 has none.
      if (values[k] == kPad && !padded_length) return false;
    }
    if (values[0] == kPad || values[1] == kPad) return false;
    if (values[2] == kPad) {
      if (!last_group || values[3] != kPad) return false;
      if ((values[1] & 0x0F) != 0) return false;
      *out++ = static_cast<char>((values[0] << 2) | (values[1] >> 4));
      continue;
    }
    if (values[3] == kPad) {
      if (!last_group || (values[2] & 0x03) != 0) return false;
      *out++ = static_cast<char>((values[0] << 2) | (values[1] >> 4));
      *out++ = static_cast<char>(((values[1] & 0x0F) << 4) | (values[2] >> 2));
      continue;
    }
    *out++ = static_cast<char>((values[0] << 2) | (values[1] >> 4));
    *out++ = static_cast<char>(((values[1] & 0x0F) << 4) | (values[2] >> 2));
    *out++ = static_cast<char>(((values[2] & 0x03) << 6) | values[3]);
  }
  // Every accepted input fills the computed size exactly.
  if (static_cast<size_t>(out - bytes.data()) != bytes.size()) return false;
  *output = std::move(bytes);
  return true;
}

}  // namespace heartbeat
}  // namespace nimbus
