#include "nimbus_core_plugin/host_api.h"

#include <exception>
#include <stdexcept>
#include <utility>

#include "embedding_client/message_channel.h"
#include "nimbus_core_plugin/bridge_internal_codec_serializer.h"

namespace nimbus_core_windows {
namespace {

using vela::CustomEncodableValue;
using vela::EncodableList;
using vela::EncodableValue;
using vela::MessageReply;

// Raised when a request list is shorter than its operation needs. Its text is fixed
// because it travels in the error reply.
class InvalidVectorSubscript : public std::out_of_range {
 public:
  InvalidVectorSubscript() : std::out_of_range("invalid vector subscript") {}
  const char* what() const noexcept override { return "invalid vector subscript"; }
};

// The request argument at `index`, with the index checked.
const EncodableValue& Argument(const EncodableList& arguments, size_t index) {
  if (index >= arguments.size()) throw InvalidVectorSubscript();
  return arguments[index];
}

// A request handler's body: unpacks the request and calls the operation.
using RequestBody = std::function<void(const EncodableValue& message, const MessageReply& reply)>;

// Installs `body` on the channel `base` (with `suffix`) of `messenger`, or removes the
// channel's handler when `body` is empty. Any standard exception out of the body, from the
// unpacking, the operation or its result, is answered as [text, "Error", null].
void InstallHandler(vela::BinaryMessenger* messenger, std::string_view base,
                    const std::string& suffix, RequestBody body) {
  vela::MessageChannel channel(messenger, HostApiChannelName(base, suffix), &HostApiCodec());
  if (!body) {
    channel.SetMessageHandler(nullptr);
    return;
  }
  channel.SetMessageHandler(
      [body = std::move(body)](const EncodableValue& message, MessageReply reply) {
        try {
          body(message, reply);
        } catch (const std::exception& exception) {
          reply(WrapError(exception.what()));
        }
      });
}

// The app name at position 0, or null after answering that it is missing or unusable.
const std::string* UnpackAppName(const EncodableList& arguments, const MessageReply& reply) {
  const EncodableValue& app_name = Argument(arguments, 0);
  if (app_name.IsNull()) {
    reply(WrapError("app_name_arg unexpectedly null."));
    return nullptr;
  }
  const std::string& name = app_name.Get<std::string>();
  // The app core takes names as C strings: one with a NUL would stand for a shorter name.
  if (name.find('\0') != std::string::npos) {
    reply(WrapError("app_name_arg contains a NUL character."));
    return nullptr;
  }
  return &name;
}

// The reply of an operation without a value: [null] or the error envelope.
std::function<void(std::optional<VelaError>)> OptionalErrorResult(const MessageReply& reply) {
  return [reply](std::optional<VelaError> error) {
    reply(error ? WrapError(*error) : EncodableValue(EncodableList{EncodableValue()}));
  };
}

// The body of the two flag channels, [app_name, enabled].
template <typename Operation>
RequestBody FlagBody(Operation operation) {
  return [operation](const EncodableValue& message, const MessageReply& reply) {
    const auto& arguments = message.Get<EncodableList>();
    const std::string* app_name = UnpackAppName(arguments, reply);
    if (app_name == nullptr) return;
    const EncodableValue& enabled = Argument(arguments, 1);
    if (enabled.IsNull()) {
      reply(WrapError("enabled_arg unexpectedly null."));
      return;
    }
    operation(*app_name, enabled.Get<bool>(), OptionalErrorResult(reply));
  };
}

}  // namespace

std::string HostApiChannelName(std::string_view base, std::string_view suffix) {
  std::string name(base);
  if (!suffix.empty()) {
    name += '.';
    name += suffix;
  }
  return name;
}

const vela::StandardMessageCodec& HostApiCodec() {
  return BridgeInternalCodecSerializer::GetCodec();
}

EncodableValue WrapError(const VelaError& error) {
  return EncodableList{error.code(), error.message(), error.details()};
}

EncodableValue WrapError(std::string_view text) {
  return EncodableList{std::string(text), "Error", EncodableValue()};
}

void NimbusCoreHostApi::SetUp(vela::BinaryMessenger* messenger, NimbusCoreHostApi* api) {
  SetUp(messenger, api, std::string());
}

void NimbusCoreHostApi::SetUp(vela::BinaryMessenger* messenger, NimbusCoreHostApi* api,
                              const std::string& channel_suffix) {
  RequestBody initialize_app, initialize_core, options_from_resource;
  if (api != nullptr) {
    initialize_app = [api](const EncodableValue& message, const MessageReply& reply) {
      const auto& arguments = message.Get<EncodableList>();
      const std::string* app_name = UnpackAppName(arguments, reply);
      if (app_name == nullptr) return;
      const EncodableValue& request = Argument(arguments, 1);
      if (request.IsNull()) {
        reply(WrapError("initialize_app_request_arg unexpectedly null."));
        return;
      }
      const auto& options = request.Get<CustomEncodableValue>().Get<CoreNimbusOptions>();
      api->InitializeApp(*app_name, options, [reply](ErrorOr<CoreInitializeResponse> output) {
        if (output.has_error()) {
          reply(WrapError(output.error()));
          return;
        }
        reply(EncodableList{CustomEncodableValue(std::move(output.value()))});
      });
    };
    // These two read nothing from the request: any message starts the operation.
    initialize_core = [api](const EncodableValue&, const MessageReply& reply) {
      api->InitializeCore([reply](ErrorOr<EncodableList> output) {
        if (output.has_error()) {
          reply(WrapError(output.error()));
          return;
        }
        reply(EncodableList{EncodableValue(std::move(output.value()))});
      });
    };
    options_from_resource = [api](const EncodableValue&, const MessageReply& reply) {
      api->OptionsFromResource([reply](ErrorOr<CoreNimbusOptions> output) {
        if (output.has_error()) {
          reply(WrapError(output.error()));
          return;
        }
        reply(EncodableList{CustomEncodableValue(std::move(output.value()))});
      });
    };
  }
  InstallHandler(messenger, kInitializeAppChannel, channel_suffix, std::move(initialize_app));
  InstallHandler(messenger, kInitializeCoreChannel, channel_suffix, std::move(initialize_core));
  InstallHandler(messenger, kOptionsFromResourceChannel, channel_suffix,
                 std::move(options_from_resource));
}

void NimbusAppHostApi::SetUp(vela::BinaryMessenger* messenger, NimbusAppHostApi* api) {
  SetUp(messenger, api, std::string());
}

void NimbusAppHostApi::SetUp(vela::BinaryMessenger* messenger, NimbusAppHostApi* api,
                             const std::string& channel_suffix) {
  RequestBody data_collection, resource_management, delete_app;
  if (api != nullptr) {
    data_collection = FlagBody([api](const std::string& app_name, bool enabled, auto result) {
      api->SetAutomaticDataCollectionEnabled(app_name, enabled, std::move(result));
    });
    resource_management = FlagBody([api](const std::string& app_name, bool enabled, auto result) {
      api->SetAutomaticResourceManagementEnabled(app_name, enabled, std::move(result));
    });
    delete_app = [api](const EncodableValue& message, const MessageReply& reply) {
      const auto& arguments = message.Get<EncodableList>();
      const std::string* app_name = UnpackAppName(arguments, reply);
      if (app_name == nullptr) return;
      api->Delete(*app_name, OptionalErrorResult(reply));
    };
  }
  InstallHandler(messenger, kSetAutomaticDataCollectionEnabledChannel, channel_suffix,
                 std::move(data_collection));
  InstallHandler(messenger, kSetAutomaticResourceManagementEnabledChannel, channel_suffix,
                 std::move(resource_management));
  InstallHandler(messenger, kDeleteChannel, channel_suffix, std::move(delete_app));
}

}  // namespace nimbus_core_windows
