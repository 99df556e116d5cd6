// Compressed payloads through ZLib's bounded decoders. The first byte picks the call
// (GunzipToNewBuffer, or Uncompress with zlib, raw or gzip framing), the next two the
// output bound (little-endian), and the rest is the compressed input. The output never
// passes the bound; each call runs twice on one object and gives the same result both
// times (state left by the first, failed or not, must not leak into the second); and what
// does decompress compresses and decompresses back to itself.

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "app/heartbeat/zlib.h"
#include "fuzz/fuzz_support.h"

namespace {

using nimbus::heartbeat::ZLib;

enum class Call { kGunzip, kZlib, kRaw, kGzip };

void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

void Frame(ZLib* zlib, Call call) {
  if (call == Call::kRaw) zlib->UseRawFraming(true);
  if (call == Call::kGunzip || call == Call::kGzip) zlib->UseGzipFraming();
}

struct Result {
  int code;
  std::vector<uint8_t> output;
};

Result Decompress(ZLib* zlib, Call call, uint32_t bound, const uint8_t* source,
                  uint32_t source_len) {
  uint32_t length = bound;
  if (call == Call::kGunzip) {
    std::unique_ptr<uint8_t[]> dest;
    const int code = zlib->GunzipToNewBuffer(&dest, &length, source, source_len);
    if (code != Z_OK) {
      if (dest) Fail("a failed GunzipToNewBuffer left a buffer");
      return {code, {}};
    }
    if (length > bound) Fail("GunzipToNewBuffer passed its bound");
    if (length > 0 && !dest) Fail("GunzipToNewBuffer reported data without a buffer");
    return {code, std::vector<uint8_t>(dest.get(), dest.get() + length)};
  }
  // Exactly the bound, so that ASan sees a write past it.
  std::unique_ptr<uint8_t[]> dest(new uint8_t[bound]);
  const int code = zlib->Uncompress(dest.get(), &length, source, source_len);
  if (length > bound) Fail("Uncompress reported more than its bound");
  if (code != Z_OK) return {code, {}};
  return {code, std::vector<uint8_t>(dest.get(), dest.get() + length)};
}

// Compresses `data` with the framing of `call` and decompresses it again.
void CheckRoundTrip(Call call, const std::vector<uint8_t>& data) {
  ZLib zlib;
  Frame(&zlib, call);
  uint32_t length = static_cast<uint32_t>(data.size() + data.size() / 1000 + 64);
  std::vector<uint8_t> compressed(length);
  if (zlib.Compress(compressed.data(), &length, data.data(), static_cast<uint32_t>(data.size())) !=
      Z_OK) {
    Fail("Compress failed on decompressed data");
  }
  const Result back =
      Decompress(&zlib, call, static_cast<uint32_t>(data.size()), compressed.data(), length);
  if (back.code != Z_OK || back.output != data) Fail("compressed data did not decompress back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const Call call = static_cast<Call>(data[0] % 4);
  const uint32_t bound = data[1] | (static_cast<uint32_t>(data[2]) << 8);
  const uint8_t* source = data + 3;
  const uint32_t source_len = static_cast<uint32_t>(size - 3);

  ZLib zlib;
  Frame(&zlib, call);
  const Result first = Decompress(&zlib, call, bound, source, source_len);
  const Result second = Decompress(&zlib, call, bound, source, source_len);
  if (first.code != second.code || first.output != second.output) {
    Fail("the same input gave two results on one object");
  }
  if (first.code == Z_OK) CheckRoundTrip(call, first.output);
  return 0;
}
