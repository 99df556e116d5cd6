// An engine-side application for the embedding client's tests. Native code drives it with
// commands on the channel "test.command"; each command is a list [name, arguments...] in
// the standard codec and is answered with a value:
//   ["call", channel, value]     sends `value` on `channel`; answers with what came back:
//                                ["reply", value], ["empty"] or ["undecodable"]
//   ["call_raw", channel, bytes] the same with raw message bytes
//   ["store", value]             keeps `value` (native code may send this without a reply)
//   ["stored"]                   the kept value
//   ["arguments"]                the entry point's arguments, as a list of strings
//   ["entry"]                    the entry point's name
//   ["frame"]                    submits a 2 x 2 frame
//   ["textures"]                 the external-texture frames received, as [id, width,
//                                height, first pixel's red byte] lists

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "embedding_client/encodable_value.h"
#include "embedding_client/standard_message_codec.h"
#include "vela_bundle.h"

namespace {

using vela::EncodableList;
using vela::EncodableValue;

struct BundleState {
  const VelaBundleHost* host = nullptr;
  std::string entry;
  EncodableList arguments;
  EncodableValue stored;
  std::mutex textures_mutex;
  EncodableList textures;
};

BundleState* state = nullptr;

const vela::StandardMessageCodec& Codec() { return vela::StandardMessageCodec::GetInstance(); }

void Answer(VelaBundleResponse* response, const EncodableValue& value) {
  std::unique_ptr<std::vector<uint8_t>> bytes = Codec().EncodeMessage(value);
  state->host->send_response(state->host, response, bytes->data(), bytes->size());
}

// Carries a command's response handle until the answer to its "call" comes back.
void OnCallAnswered(const uint8_t* data, size_t size, void* user_data) {
  auto* response = static_cast<VelaBundleResponse*>(user_data);
  if (data == nullptr && size == 0) {
    Answer(response, EncodableList{"empty"});
    return;
  }
  std::unique_ptr<EncodableValue> value = Codec().DecodeMessage(data, size);
  if (!value) {
    Answer(response, EncodableList{"undecodable"});
    return;
  }
  Answer(response, EncodableList{"reply", *value});
}

void Call(const std::string& channel, const std::vector<uint8_t>& bytes,
          VelaBundleResponse* response) {
  if (!state->host->send_message(state->host, channel.c_str(), bytes.data(), bytes.size(),
                                 OnCallAnswered, response)) {
    Answer(response, EncodableList{"refused"});
  }
}

void OnCommand(const char*, const uint8_t* data, size_t size, VelaBundleResponse* response, void*) {
  std::unique_ptr<EncodableValue> value = Codec().DecodeMessage(data, size);
  const EncodableList* command = value ? value->GetIf<EncodableList>() : nullptr;
  if (command == nullptr || command->empty() || !(*command)[0].Holds<std::string>()) {
    Answer(response, "bad command");
    return;
  }
  const std::string& name = (*command)[0].Get<std::string>();
  if (name == "call" && command->size() == 3) {
    Call((*command)[1].Get<std::string>(), *Codec().EncodeMessage((*command)[2]), response);
  } else if (name == "call_raw" && command->size() == 3) {
    Call((*command)[1].Get<std::string>(), (*command)[2].Get<std::vector<uint8_t>>(), response);
  } else if (name == "store" && command->size() == 2) {
    state->stored = (*command)[1];
    Answer(response, EncodableValue());
  } else if (name == "stored") {
    Answer(response, state->stored);
  } else if (name == "arguments") {
    Answer(response, state->arguments);
  } else if (name == "entry") {
    Answer(response, state->entry);
  } else if (name == "frame") {
    const uint8_t pixels[16] = {255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255};
    Answer(response, state->host->submit_frame(state->host, pixels, 2, 2, 0));
  } else if (name == "textures") {
    std::lock_guard<std::mutex> lock(state->textures_mutex);
    Answer(response, state->textures);
  } else {
    Answer(response, "unknown command");
  }
}

void OnTextureFrame(int64_t texture_id, const uint8_t* rgba, uint32_t width, uint32_t height,
                    void*) {
  std::lock_guard<std::mutex> lock(state->textures_mutex);
  state->textures.push_back(EncodableList{texture_id, static_cast<int64_t>(width),
                                          static_cast<int64_t>(height),
                                          static_cast<int32_t>(width * height > 0 ? rgba[0] : 0)});
}

void OnShutdown(void*) {
  delete state;
  state = nullptr;
}

void Start(const char* entry, const VelaBundleHost* host, int argc, const char* const* argv) {
  state = new BundleState();
  state->host = host;
  state->entry = entry;
  for (int i = 0; i < argc; ++i) state->arguments.emplace_back(std::string(argv[i]));
  host->set_message_handler(host, "test.command", OnCommand, nullptr);
  host->set_texture_handler(host, OnTextureFrame, nullptr);
  host->set_shutdown_handler(host, OnShutdown, nullptr);
}

}  // namespace

extern "C" VELA_BUNDLE_EXPORT void vela_entry_main(const VelaBundleHost* host, int argc,
                                                   const char* const* argv) {
  Start("main", host, argc, argv);
}

extern "C" VELA_BUNDLE_EXPORT void vela_entry_custom(const VelaBundleHost* host, int argc,
                                                     const char* const* argv) {
  Start("custom", host, argc, argv);
}
