#include "app/heartbeat/heartbeat_payload.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <vector>

#include "app/heartbeat/base64.h"
#include "app/heartbeat/zlib.h"
#include "app/variant/variant.h"
#include "app/variant/variant_conversions.h"

namespace nimbus {
namespace heartbeat {
namespace {

// The version of the payload's layout, sent as a JSON string.
constexpr char kPayloadVersion[] = "2";

// Deflate expands at most 1032-fold; beyond this a payload is not ours.
constexpr uint64_t kMaxInflationRatio = 1032;
constexpr uint32_t kMaxDecodedText = 4u << 20;

// Room for compressing `size` bytes: deflate's worst case plus the gzip header and trailer.
uint64_t CompressionCapacity(uint64_t size) { return size + size / 1000 + 40; }

}  // namespace

std::string BuildHeartbeatsJson(const LoggedHeartbeats& record) {
  std::vector<Variant> agents;
  agents.reserve(record.heartbeats.size());
  for (const auto& [agent, dates] : record.heartbeats) {
    std::vector<Variant> date_list(dates.begin(), dates.end());
    std::map<Variant, Variant> entry;
    entry[Variant("agent")] = Variant(agent);
    entry[Variant("dates")] = Variant(std::move(date_list));
    agents.emplace_back(std::move(entry));
  }
  std::map<Variant, Variant> root;
  root[Variant("heartbeats")] = Variant(std::move(agents));
  root[Variant("version")] = Variant(kPayloadVersion);
  return VariantMapToJson(root);
}

std::string CompressAndEncode(const std::string& text) {
  if (text.size() > std::numeric_limits<uint32_t>::max() / 2) return std::string();
  const auto size = static_cast<uint32_t>(text.size());
  std::string compressed(CompressionCapacity(size), '\0');
  auto compressed_size = static_cast<uint32_t>(compressed.size());
  ZLib zlib;
  zlib.UseGzipFraming();
  if (zlib.Compress(reinterpret_cast<uint8_t*>(compressed.data()), &compressed_size,
                    reinterpret_cast<const uint8_t*>(text.data()), size) != 0) {
    return std::string();
  }
  compressed.resize(compressed_size);
  std::string encoded;
  if (!Base64EncodeUrlSafe(compressed, &encoded) || encoded.size() > kMaxPayloadLength) {
    return std::string();
  }
  return encoded;
}

bool DecodeAndUncompress(const std::string& payload, std::string* text) {
  if (text == nullptr) return false;
  std::string compressed;
  if (!Base64Decode(payload, &compressed)) return false;
  if (compressed.size() > std::numeric_limits<uint32_t>::max() / 2) return false;
  const auto size = static_cast<uint32_t>(compressed.size());
  // The trailer states the text's size; take it, within what the data could inflate to,
  // so that well-compressed payloads decode as well as barely compressed ones.
  auto limit = static_cast<uint32_t>(std::min<uint64_t>(
      kMaxDecodedText, std::max(CompressionCapacity(size), uint64_t{size} * kMaxInflationRatio)));
  std::unique_ptr<uint8_t[]> buffer;
  ZLib zlib;
  zlib.UseGzipFraming();
  if (zlib.GunzipToNewBuffer(&buffer, &limit, reinterpret_cast<const uint8_t*>(compressed.data()),
                             size) != 0) {
    return false;
  }
  text->assign(reinterpret_cast<const char*>(buffer.get()), limit);
  return true;
}

std::string DecodeAndUncompress(const std::string& payload) {
  std::string text;
  return DecodeAndUncompress(payload, &text) ? text : std::string();
}

}  // namespace heartbeat
}  // namespace nimbus
