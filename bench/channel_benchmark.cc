// Channel round trips through the engine stand-in, with the host's UI thread running its
// message loop as the application does: native code to the engine side and back, and the
// engine side to native code and back, with small and 64 KiB messages. Reports latency
// percentiles (p50_us, p90_us, p99_us) and round trips per second (items_per_second).

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "vela_windows.h"

namespace {

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The engine with the benchmark bundle, its view controller, and native code's echo
// channel, set up once on this (the UI) thread.
class Host {
 public:
  Host() {
    char pattern[] = "/tmp/tervala-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    folder_ = pattern;
    std::filesystem::create_directory(folder_ + "/vela_assets");
    if (std::FILE* icu = std::fopen((folder_ + "/icudtl.dat").c_str(), "wb")) std::fclose(icu);
    assets_ = Wide(folder_ + "/vela_assets");
    icu_data_ = Wide(folder_ + "/icudtl.dat");
    library_ = Wide(TERVALA_CHANNEL_BUNDLE);
    VelaDesktopEngineProperties properties{};
    properties.assets_path = assets_.c_str();
    properties.icu_data_path = icu_data_.c_str();
    properties.aot_library_path = library_.c_str();
    properties.entrypoint = "";
    VelaDesktopEngine engine = VelaDesktopEngineCreate(&properties);
    if (engine == nullptr) return;
    messenger_ = VelaDesktopEngineGetMessenger(engine);
    controller_ = VelaDesktopViewControllerCreate(64, 48, engine);
    if (controller_ == nullptr) {
      VelaDesktopEngineDestroy(engine);
      return;
    }
    VelaDesktopMessengerSetCallback(messenger_, "bench/native_echo", &NativeEcho, nullptr);
  }
  ~Host() {
    if (controller_ != nullptr) VelaDesktopViewControllerDestroy(controller_);
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  bool ok() const { return controller_ != nullptr; }
  VelaDesktopMessenger messenger() const { return messenger_; }

 private:
  // Native code's end of the engine side's round trips: answers with the same bytes, on the
  // UI thread, from inside the message loop.
  static void NativeEcho(VelaDesktopMessenger messenger, const VelaDesktopMessage* message, void*) {
    VelaDesktopMessengerSendResponse(messenger, message->response_handle, message->message,
                                     message->message_size);
  }

  std::string folder_;
  std::wstring assets_, icu_data_, library_;
  VelaDesktopMessenger messenger_ = nullptr;
  VelaDesktopViewController controller_ = nullptr;
};

Host* g_host = nullptr;

// The reply to one message.
struct Reply {
  bool arrived = false;
  std::vector<uint8_t> bytes;

  static void Callback(const uint8_t* data, size_t size, void* user_data) {
    auto* reply = static_cast<Reply*>(user_data);
    if (data != nullptr) reply->bytes.assign(data, data + size);
    reply->arrived = true;
  }
};

// Runs the UI thread's message loop until the reply has come. False if the loop ended.
bool PumpUntilArrived(const Reply& reply) {
  while (!reply.arrived) {
    MSG msg;
    if (GetMessageW(&msg, nullptr, 0, 0) <= 0) return false;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return true;
}

// Sets p50_us, p90_us and p99_us from round-trip times in nanoseconds.
void ReportPercentiles(benchmark::State& state, std::vector<double>& nanoseconds) {
  if (nanoseconds.empty()) return;
  std::sort(nanoseconds.begin(), nanoseconds.end());
  auto at = [&](double fraction) {
    const auto index = static_cast<size_t>(fraction * static_cast<double>(nanoseconds.size() - 1));
    return nanoseconds[index] / 1000.0;
  };
  state.counters["p50_us"] = at(0.50);
  state.counters["p90_us"] = at(0.90);
  state.counters["p99_us"] = at(0.99);
}

// One round trip per iteration: native code sends, the engine side echoes, the reply
// callback runs on the UI thread.
void NativeToEngine(benchmark::State& state) {
  if (g_host == nullptr || !g_host->ok()) return state.SkipWithError("no engine");
  const std::vector<uint8_t> payload(static_cast<size_t>(state.range(0)), 0x5A);
  std::vector<double> latencies;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    Reply reply;
    if (!VelaDesktopMessengerSendWithReply(g_host->messenger(), "bench/echo", payload.data(),
                                           payload.size(), &Reply::Callback, &reply) ||
        !PumpUntilArrived(reply) || reply.bytes != payload) {
      state.SkipWithError("the round trip failed");
      break;
    }
    latencies.push_back(
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count());
  }
  state.SetItemsProcessed(state.iterations());
  ReportPercentiles(state, latencies);
}
BENCHMARK(NativeToEngine)->Arg(16)->Arg(64 * 1024)->UseRealTime();

// Round trips that the engine side starts and times, 200 per iteration, with native code
// answering on the UI thread.
void EngineToNative(benchmark::State& state) {
  if (g_host == nullptr || !g_host->ok()) return state.SkipWithError("no engine");
  constexpr uint32_t kRoundTrips = 200;
  const uint32_t header[2] = {kRoundTrips, static_cast<uint32_t>(state.range(0))};
  std::vector<double> latencies;
  for (auto _ : state) {
    Reply reply;
    if (!VelaDesktopMessengerSendWithReply(g_host->messenger(), "bench/ask",
                                           reinterpret_cast<const uint8_t*>(header), sizeof header,
                                           &Reply::Callback, &reply) ||
        !PumpUntilArrived(reply) || reply.bytes.size() != kRoundTrips * sizeof(uint64_t)) {
      state.SkipWithError("the engine side's round trips failed");
      break;
    }
    for (uint32_t i = 0; i < kRoundTrips; ++i) {
      uint64_t nanoseconds;
      std::memcpy(&nanoseconds, reply.bytes.data() + i * sizeof nanoseconds, sizeof nanoseconds);
      if (nanoseconds == UINT64_MAX) {
        state.SkipWithError("a reply was not the message sent");
        break;
      }
      latencies.push_back(static_cast<double>(nanoseconds));
    }
  }
  state.SetItemsProcessed(state.iterations() * kRoundTrips);
  ReportPercentiles(state, latencies);
}
BENCHMARK(EngineToNative)->Arg(16)->Arg(64 * 1024)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Host host;
  g_host = &host;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  g_host = nullptr;
  return host.ok() ? 0 : 1;
}
