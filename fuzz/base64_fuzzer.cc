// Payload text through Base64Decode: no crash; what decodes has the size GetDecodedSize
// announced, decodes the same in place, and survives an encode and decode unchanged.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/heartbeat/base64.h"
#include "fuzz/fuzz_support.h"

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace nimbus::heartbeat;
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string decoded = "untouched";
  if (!Base64Decode(input, &decoded)) {
    if (decoded != "untouched") Fail("a failed decode changed its output");
    return 0;
  }
  if (decoded.size() != GetDecodedSize(input)) Fail("GetDecodedSize disagrees with the decode");

  std::string in_place = input;
  if (!Base64Decode(in_place, &in_place) || in_place != decoded) Fail("in-place decode differs");

  for (auto encode : {&Base64Encode, &Base64EncodeWithPadding, &Base64EncodeUrlSafe,
                      &Base64EncodeUrlSafeWithPadding}) {
    std::string text;
    std::string back;
    if (!encode(decoded, &text) || !Base64Decode(text, &back) || back != decoded) {
      Fail("decoded bytes do not survive an encode and decode");
    }
  }
  return 0;
}
