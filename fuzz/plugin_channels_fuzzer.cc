// The core plug-in's six channel handlers fed raw request bytes, as the engine side would
// send them: the input is a run of requests, each a selector byte, a 16-bit length and that
// many message bytes, delivered to the real plug-in through an in-process messenger. The
// selector's low seven bits pick the channel; its high bit hides the config file, so that
// the answers for missing options are reached too.
//
// Beyond safety it checks what every sender relies on: each request gets exactly one
// reply before the handler returns; the reply is empty exactly when the request does not
// decode; any other reply is a success [value] or an error [code, message, details] with
// texts for code and message; and the app registry holds no more than the requests made.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/app_options.h"
#include "app/heartbeat/platform_files.h"
#include "embedding_client/binary_messenger.h"
#include "fuzz/fuzz_support.h"
#include "nimbus_core_plugin/host_api.h"
#include "nimbus_core_plugin/nimbus_core_plugin.h"

namespace {

using namespace nimbus_core_windows;

constexpr const char* kChannels[] = {
    kInitializeAppChannel,
    kInitializeCoreChannel,
    kOptionsFromResourceChannel,
    kSetAutomaticDataCollectionEnabledChannel,
    kSetAutomaticResourceManagementEnabledChannel,
    kDeleteChannel,
};
constexpr size_t kChannelCount = sizeof(kChannels) / sizeof(kChannels[0]);

// At most this many requests per input, so one input cannot create apps without bound.
constexpr int kMaxRequests = 16;

void Fail(const char* what, const char* channel) {
  std::fprintf(stderr, "%s (channel %s)\n", what, channel);
  std::abort();
}

// The messenger stand-in: keeps the handlers the plug-in installs and delivers messages to
// them directly, on this thread.
class DirectMessenger : public vela::BinaryMessenger {
 public:
  void Send(const std::string&, const uint8_t*, size_t, vela::ReplyFunction) const override {}
  void SetMessageHandler(const std::string& channel,
                         vela::MessageHandlerFunction handler) override {
    if (handler) {
      handlers_[channel] = std::move(handler);
    } else {
      handlers_.erase(channel);
    }
  }

  const vela::MessageHandlerFunction* Find(const std::string& channel) const {
    auto found = handlers_.find(channel);
    return found == handlers_.end() ? nullptr : &found->second;
  }

 private:
  std::map<std::string, vela::MessageHandlerFunction> handlers_;
};

// A valid config file, so that optionsFromResource and incomplete options can succeed.
constexpr char kConfig[] = R"({
  "project_info": {"project_number": "1", "project_id": "fuzz-project"},
  "client": [{"client_info": {"mobile_app_id": "1:1:desktop:1",
                              "platform_client_info": {"package_name": "dev.tervala.fuzz"}},
              "api_key": [{"current_key": "fuzz-key"}]}]
})";

// The plug-in on its messenger, with its data folder and two config folders (one with a
// config file, one empty) in a scratch folder.
struct Fixture {
  Fixture() {
    tervala_fuzz::QuietLogAbortOnAssert();
    folder = tervala_fuzz::MakeScratchFolder("plugin-fuzz");
    nimbus::SetLocalAppDataFolder(folder);
    with_config = folder + "/config/";
    without_config = folder + "/empty/";
    std::filesystem::create_directory(with_config);
    std::filesystem::create_directory(without_config);
    std::ofstream(with_config + nimbus::kConfigFileDesktop) << kConfig;
    UseConfig(true);
    NimbusCoreHostApi::SetUp(&messenger, &plugin);
    NimbusAppHostApi::SetUp(&messenger, &plugin);
  }
  ~Fixture() {
    NimbusCoreHostApi::SetUp(&messenger, nullptr);
    NimbusAppHostApi::SetUp(&messenger, nullptr);
    std::error_code error;
    std::filesystem::remove_all(folder, error);
  }

  void UseConfig(bool config) {
    if (config == config_used) return;
    nimbus::SetConfigDirectory((config ? with_config : without_config).c_str());
    config_used = config;
  }

  std::string folder;
  std::string with_config;
  std::string without_config;
  bool config_used = false;
  DirectMessenger messenger;
  NimbusCorePlugin plugin;
};

// Checks the shape of a reply that is not empty.
void CheckReply(const std::vector<uint8_t>& bytes, const char* channel) {
  std::unique_ptr<vela::EncodableValue> reply = HostApiCodec().DecodeMessage(bytes);
  if (!reply) Fail("a reply that does not decode", channel);
  const auto* list = reply->GetIf<vela::EncodableList>();
  if (list == nullptr) Fail("a reply that is not a list", channel);
  if (list->size() == 1) return;
  if (list->size() != 3 || !(*list)[0].Holds<std::string>() || !(*list)[1].Holds<std::string>()) {
    Fail("a reply that is neither [value] nor [code, message, details]", channel);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture fixture;
  size_t at = 0;
  for (int request = 0; request < kMaxRequests && at < size; ++request) {
    const uint8_t selector = data[at++];
    const char* channel = kChannels[(selector & 0x7f) % kChannelCount];
    fixture.UseConfig((selector & 0x80) == 0);
    size_t length = 0;
    if (at + 2 <= size) {
      length = data[at] | (static_cast<size_t>(data[at + 1]) << 8);
      at += 2;
    }
    if (length > size - at) length = size - at;
    // A copy of exactly the message's size, so that ASan sees any read past its end.
    const std::vector<uint8_t> message(data + at, data + at + length);
    at += length;

    const vela::MessageHandlerFunction* handler = fixture.messenger.Find(channel);
    if (handler == nullptr) Fail("no handler installed", channel);
    int replies = 0;
    bool empty = false;
    std::vector<uint8_t> reply;
    (*handler)(message.data(), message.size(), [&](const uint8_t* bytes, size_t count) {
      ++replies;
      empty = count == 0;
      reply.assign(bytes, bytes + count);
    });
    if (replies != 1) Fail("not exactly one reply before the handler returned", channel);
    const bool decodes = HostApiCodec().DecodeMessage(message) != nullptr;
    if (empty == decodes) Fail("the empty reply does not match an undecodable request", channel);
    if (!empty) CheckReply(reply, channel);
    if (nimbus::App::GetApps().size() > static_cast<size_t>(request + 1)) {
      Fail("more apps than requests", channel);
    }
  }
  // Each input starts from no apps and no heartbeat files, as the first request of a run
  // does; deleting an app stops its heartbeat worker, so no file is written after this.
  for (nimbus::App* app : nimbus::App::GetApps()) delete app;
  std::error_code ignored;
  std::filesystem::remove_all(fixture.folder + "/nimbus-heartbeat", ignored);
  return 0;
}
