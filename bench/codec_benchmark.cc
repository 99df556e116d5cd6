// Encoding and decoding representative messages with the standard codec, with memcpy of
// the same bytes and msgpack-c on the same data measured in the same run.
//
// Benchmark names are <message>/<operation>/<implementation>:
//   encode/codec, decode/codec   the standard codec (the plug-in codec for plug-in messages)
//   copy/memcpy                  memcpy of the encoded message into a buffer that exists
//   encode/msgpack               msgpack-c packing the same value into a fresh buffer
//   decode/msgpack               msgpack-c unpacking into its own objects (zone-allocated,
//                                strings and bins pointing into the message)
//   decode/msgpack+values        the same, then building the value the codec's decoder
//                                yields (structured messages without custom values)
// Bytes per second are counted in bytes of the standard encoding for every
// implementation, so rates compare directly; msgpack's own size is the counter
// "msgpack_bytes".

#include <benchmark/benchmark.h>
#include <msgpack.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/msgpack_yardstick.h"
#include "bench/representative_messages.h"

namespace tervala::bench {
namespace {

// One message with its encoded forms, prepared once before any benchmark runs.
struct PreparedMessage {
  RepresentativeMessage message;
  std::vector<uint8_t> encoded;
  msgpack_sbuffer msgpack;
  // Checked once before any benchmark runs, so that the benchmark functions hold nothing
  // but their loops (instruction counts under callgrind stay per iteration).
  bool round_trips = false;
  bool msgpack_rebuilds = false;
};

// Whether the codec reads the message back to the same bytes.
bool RoundTrips(const PreparedMessage& prepared) {
  auto decoded = prepared.message.codec->DecodeMessage(prepared.encoded);
  return decoded && *prepared.message.codec->EncodeMessage(*decoded) == prepared.encoded;
}

// Whether msgpack-c's objects rebuild the message as the codec's decoder does.
bool MsgpackRebuilds(const PreparedMessage& prepared) {
  msgpack_unpacked unpacked;
  msgpack_unpacked_init(&unpacked);
  size_t offset = 0;
  bool same =
      msgpack_unpack_next(&unpacked, prepared.msgpack.data, prepared.msgpack.size, &offset) ==
          MSGPACK_UNPACK_SUCCESS &&
      *prepared.message.codec->EncodeMessage(MsgpackToValue(unpacked.data)) == prepared.encoded;
  msgpack_unpacked_destroy(&unpacked);
  return same;
}

void SetRates(benchmark::State& state, const PreparedMessage& prepared) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * prepared.encoded.size()));
  state.counters["msgpack_bytes"] = static_cast<double>(prepared.msgpack.size);
}

void EncodeCodec(benchmark::State& state, const PreparedMessage* prepared) {
  for (auto _ : state) {
    auto encoded = prepared->message.codec->EncodeMessage(prepared->message.value);
    benchmark::DoNotOptimize(encoded->data());
  }
  SetRates(state, *prepared);
}

void DecodeCodec(benchmark::State& state, const PreparedMessage* prepared) {
  if (!prepared->round_trips) state.SkipWithError("the codec does not round-trip the message");
  for (auto _ : state) {
    auto decoded = prepared->message.codec->DecodeMessage(prepared->encoded);
    benchmark::DoNotOptimize(decoded.get());
  }
  SetRates(state, *prepared);
}

void CopyMemcpy(benchmark::State& state, const PreparedMessage* prepared) {
  const size_t size = prepared->encoded.size();
  auto destination = std::make_unique<uint8_t[]>(size);
  std::memset(destination.get(), 1, size);  // touch every page before timing
  for (auto _ : state) {
    std::memcpy(destination.get(), prepared->encoded.data(), size);
    benchmark::DoNotOptimize(destination.get());
    benchmark::ClobberMemory();
  }
  SetRates(state, *prepared);
}

void EncodeMsgpack(benchmark::State& state, const PreparedMessage* prepared) {
  for (auto _ : state) {
    msgpack_sbuffer buffer;
    msgpack_sbuffer_init(&buffer);
    msgpack_packer packer;
    msgpack_packer_init(&packer, &buffer, msgpack_sbuffer_write);
    MsgpackPack(prepared->message.value, &packer);
    benchmark::DoNotOptimize(buffer.data);
    msgpack_sbuffer_destroy(&buffer);
  }
  SetRates(state, *prepared);
}

void DecodeMsgpack(benchmark::State& state, const PreparedMessage* prepared) {
  for (auto _ : state) {
    msgpack_unpacked unpacked;
    msgpack_unpacked_init(&unpacked);
    size_t offset = 0;
    const msgpack_unpack_return result =
        msgpack_unpack_next(&unpacked, prepared->msgpack.data, prepared->msgpack.size, &offset);
    if (result != MSGPACK_UNPACK_SUCCESS) state.SkipWithError("msgpack-c cannot unpack it");
    benchmark::DoNotOptimize(unpacked.data);
    msgpack_unpacked_destroy(&unpacked);
  }
  SetRates(state, *prepared);
}

void DecodeMsgpackValues(benchmark::State& state, const PreparedMessage* prepared) {
  if (!prepared->msgpack_rebuilds) {
    state.SkipWithError("msgpack-c does not rebuild the message");
  }
  for (auto _ : state) {
    msgpack_unpacked unpacked;
    msgpack_unpacked_init(&unpacked);
    size_t offset = 0;
    msgpack_unpack_next(&unpacked, prepared->msgpack.data, prepared->msgpack.size, &offset);
    vela::EncodableValue value = MsgpackToValue(unpacked.data);
    benchmark::DoNotOptimize(&value);
    msgpack_unpacked_destroy(&unpacked);
  }
  SetRates(state, *prepared);
}

void RegisterAll(std::vector<PreparedMessage>& messages) {
  for (const PreparedMessage& prepared : messages) {
    const std::string& name = prepared.message.name;
    const PreparedMessage* p = &prepared;
    benchmark::RegisterBenchmark((name + "/encode/codec").c_str(), EncodeCodec, p);
    benchmark::RegisterBenchmark((name + "/decode/codec").c_str(), DecodeCodec, p);
    benchmark::RegisterBenchmark((name + "/copy/memcpy").c_str(), CopyMemcpy, p);
    benchmark::RegisterBenchmark((name + "/encode/msgpack").c_str(), EncodeMsgpack, p);
    benchmark::RegisterBenchmark((name + "/decode/msgpack").c_str(), DecodeMsgpack, p);
    if (prepared.message.kind == MessageKind::kStructured && !prepared.message.has_custom_values) {
      benchmark::RegisterBenchmark((name + "/decode/msgpack+values").c_str(), DecodeMsgpackValues,
                                   p);
    }
  }
}

}  // namespace
}  // namespace tervala::bench

int main(int argc, char** argv) {
  using namespace tervala::bench;
  // Built before benchmark::Initialize so that the registered pointers stay valid.
  static std::vector<PreparedMessage> messages;
  for (RepresentativeMessage& message : RepresentativeMessages()) {
    PreparedMessage prepared{std::move(message), {}, {}};
    prepared.encoded = *prepared.message.codec->EncodeMessage(prepared.message.value);
    msgpack_sbuffer_init(&prepared.msgpack);
    msgpack_packer packer;
    msgpack_packer_init(&packer, &prepared.msgpack, msgpack_sbuffer_write);
    MsgpackPack(prepared.message.value, &packer);
    prepared.round_trips = RoundTrips(prepared);
    prepared.msgpack_rebuilds = !prepared.message.has_custom_values && MsgpackRebuilds(prepared);
    messages.push_back(std::move(prepared));
  }
  RegisterAll(messages);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (PreparedMessage& prepared : messages) msgpack_sbuffer_destroy(&prepared.msgpack);
  return 0;
}
