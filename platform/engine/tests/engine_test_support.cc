#include "platform/engine/tests/engine_test_support.h"

#include <time.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "platform/test_support/shared_library.h"

namespace engine_test {

BundleFolder::BundleFolder() : folder_("vela_engine_test"), path_(folder_.utf8()) {
  std::filesystem::create_directory(folder_.path() / "vela_assets");
  std::FILE* icu = std::fopen((path_ + "/icudtl.dat").c_str(), "wb");
  if (icu != nullptr) std::fclose(icu);
}

BundleFolder::~BundleFolder() = default;

std::wstring BundleFolder::assets() const { return Wide(path_ + "/vela_assets"); }
std::wstring BundleFolder::icu_data() const { return Wide(path_ + "/icudtl.dat"); }

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

Properties::Properties(std::wstring assets, std::wstring icu_data, std::wstring library,
                       std::string entry_point, std::vector<std::string> arguments)
    : assets_(std::move(assets)),
      icu_data_(std::move(icu_data)),
      library_(std::move(library)),
      entry_point_(std::move(entry_point)),
      arguments_(std::move(arguments)) {
  for (const std::string& argument : arguments_) argument_pointers_.push_back(argument.c_str());
  properties_.assets_path = assets_.c_str();
  properties_.icu_data_path = icu_data_.c_str();
  properties_.aot_library_path = library_.c_str();
  properties_.entrypoint = entry_point_.c_str();
  properties_.entrypoint_argc = static_cast<int32_t>(argument_pointers_.size());
  properties_.entrypoint_argv = argument_pointers_.empty() ? nullptr : argument_pointers_.data();
}

void ReplyLog::Callback(const uint8_t* data, size_t size, void* user_data) {
  auto* log = static_cast<ReplyLog*>(user_data);
  ++log->calls;
  log->null_data = data == nullptr;
  log->data =
      data == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(data), size);
  log->thread = std::this_thread::get_id();
}

void NativeChannel::Callback(VelaDesktopMessenger messenger, const VelaDesktopMessage* message,
                             void* user_data) {
  auto* channel = static_cast<NativeChannel*>(user_data);
  channel->messages.emplace_back(reinterpret_cast<const char*>(message->message),
                                 message->message_size);
  channel->responses.push_back(message->response_handle);
  channel->threads.push_back(std::this_thread::get_id());
  if (channel->on_message) channel->on_message(messenger, message);
}

ReplyLog Ask(VelaDesktopMessenger messenger, const char* channel, const std::string& text) {
  ReplyLog log;
  if (!VelaDesktopMessengerSendWithReply(messenger, channel,
                                         reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                         &ReplyLog::Callback, &log)) {
    return log;
  }
  PumpUntil([&] { return log.calls > 0; });
  return log;
}

int BundleCounter(const char* name) {
  // Kept loaded for the whole run, so the counters outlive each engine.
  static auto* const library = new tervala_testing::SharedLibrary(ENGINE_TEST_BUNDLE);
  static const auto counter = library->Find<int (*)(const char*)>("test_bundle_counter");
  return counter == nullptr ? -2 : counter(name);
}

double ProcessCpuMilliseconds() {
  timespec time{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &time);
  return static_cast<double>(time.tv_sec) * 1000.0 + static_cast<double>(time.tv_nsec) / 1e6;
}

}  // namespace engine_test
