#include "bundle/sample/nimbus_records.h"

#include <cstdio>
#include <utility>

#include "embedding_client/byte_streams.h"
#include "nimbus_core_plugin/bridge_internal_codec_serializer.h"
#include "nimbus_core_plugin/core_initialize_response.h"
#include "nimbus_core_plugin/core_nimbus_options.h"

namespace tervala_bundle {

using nimbus_core_windows::BridgeInternalCodecSerializer;
using nimbus_core_windows::CoreInitializeResponse;
using nimbus_core_windows::CoreNimbusOptions;

std::vector<uint8_t> EncodeRecordMessage(const vela::EncodableValue& value) {
  std::vector<uint8_t> bytes;
  vela::ByteBufferStreamWriter stream(&bytes);
  BridgeInternalCodecSerializer::GetInstance().WriteValue(value, &stream);
  return bytes;
}

std::optional<vela::EncodableValue> DecodeRecordMessage(const uint8_t* data, size_t size) {
  if (data == nullptr || size == 0) return vela::EncodableValue();
  vela::ByteBufferStreamReader stream(data, size);
  const uint8_t type = stream.ReadByte();
  vela::EncodableValue value =
      BridgeInternalCodecSerializer::GetInstance().ReadValueOfType(type, &stream);
  if (stream.failed()) return std::nullopt;
  return value;
}

AppOptionsRecord::AppOptionsRecord() {
  for (size_t i = 0; i < 4; ++i) fields[i] = std::string();
}

const std::string& AppOptionsRecord::Text(Field field) const {
  static const std::string kEmpty;
  return fields[field] ? *fields[field] : kEmpty;
}

vela::EncodableValue AppOptionsRecord::ToValue() const {
  vela::EncodableList list;
  list.reserve(kFieldCount);
  for (size_t i = 0; i < kFieldCount; ++i) {
    list.push_back(fields[i] ? vela::EncodableValue(*fields[i]) : vela::EncodableValue());
  }
  // Required texts are never absent here (the constructor sets them), so the list is
  // well formed and the record builds without throwing.
  for (size_t i = 0; i < 4; ++i) {
    if (list[i].IsNull()) list[i] = vela::EncodableValue(std::string());
  }
  return vela::EncodableValue(
      vela::CustomEncodableValue(CoreNimbusOptions::FromEncodableList(list)));
}

std::optional<AppOptionsRecord> AppOptionsRecord::FromValue(const vela::EncodableValue& value) {
  const auto* custom = value.GetIf<vela::CustomEncodableValue>();
  const CoreNimbusOptions* record = custom ? custom->GetIf<CoreNimbusOptions>() : nullptr;
  if (record == nullptr) return std::nullopt;
  const vela::EncodableList list = record->ToEncodableList();
  AppOptionsRecord options;
  for (size_t i = 0; i < kFieldCount && i < list.size(); ++i) {
    if (const auto* text = list[i].GetIf<std::string>()) options.fields[i] = *text;
  }
  return options;
}

vela::EncodableValue AppDescription::ToValue() const {
  const vela::EncodableValue options_value = options.ToValue();
  CoreInitializeResponse response(
      name, options_value.Get<vela::CustomEncodableValue>().Get<CoreNimbusOptions>(),
      plugin_constants);
  if (data_collection_enabled) {
    response.set_is_automatic_data_collection_enabled(*data_collection_enabled);
  }
  return vela::EncodableValue(vela::CustomEncodableValue(std::move(response)));
}

std::optional<AppDescription> AppDescription::FromValue(const vela::EncodableValue& value) {
  const auto* custom = value.GetIf<vela::CustomEncodableValue>();
  const CoreInitializeResponse* response =
      custom ? custom->GetIf<CoreInitializeResponse>() : nullptr;
  if (response == nullptr) return std::nullopt;
  AppDescription description;
  description.name = response->name();
  description.options = *AppOptionsRecord::FromValue(
      vela::EncodableValue(vela::CustomEncodableValue(response->options())));
  if (const bool* enabled = response->is_automatic_data_collection_enabled()) {
    description.data_collection_enabled = *enabled;
  }
  description.plugin_constants = response->plugin_constants();
  return description;
}

ChannelReply ChannelReply::Decode(const uint8_t* data, size_t size) {
  ChannelReply reply;
  if (data == nullptr || size == 0) return reply;
  reply.kind = Kind::kMalformed;
  std::optional<vela::EncodableValue> decoded = DecodeRecordMessage(data, size);
  if (!decoded) return reply;
  const auto* list = decoded->GetIf<vela::EncodableList>();
  if (list == nullptr) return reply;
  if (list->size() == 1) {
    reply.kind = Kind::kSuccess;
    reply.value = (*list)[0];
  } else if (list->size() == 3 && (*list)[0].Holds<std::string>() &&
             (*list)[1].Holds<std::string>()) {
    reply.kind = Kind::kError;
    reply.code = (*list)[0].Get<std::string>();
    reply.message = (*list)[1].Get<std::string>();
    reply.value = (*list)[2];
  }
  return reply;
}

std::string ValueText(const vela::EncodableValue& value) {
  struct Visitor {
    std::string operator()(std::monostate) const { return "null"; }
    std::string operator()(bool b) const { return b ? "true" : "false"; }
    std::string operator()(int32_t i) const { return std::to_string(i); }
    std::string operator()(int64_t i) const { return std::to_string(i); }
    std::string operator()(double d) const {
      char text[32];
      std::snprintf(text, sizeof text, "%g", d);
      return text;
    }
    std::string operator()(const std::string& s) const { return s; }
    std::string operator()(const std::vector<uint8_t>& v) const {
      return "<" + std::to_string(v.size()) + " bytes>";
    }
    std::string operator()(const std::vector<int32_t>& v) const { return Count(v.size()); }
    std::string operator()(const std::vector<int64_t>& v) const { return Count(v.size()); }
    std::string operator()(const std::vector<double>& v) const { return Count(v.size()); }
    std::string operator()(const std::vector<float>& v) const { return Count(v.size()); }
    std::string operator()(const vela::EncodableList& list) const {
      std::string text = "[";
      for (size_t i = 0; i < list.size(); ++i) {
        if (i > 0) text += ", ";
        text += ValueText(list[i]);
      }
      return text + "]";
    }
    std::string operator()(const vela::EncodableMap& map) const {
      std::string text = "{";
      bool first = true;
      for (const auto& [key, entry] : map) {
        if (!first) text += ", ";
        first = false;
        text += ValueText(key) + ": " + ValueText(entry);
      }
      return text + "}";
    }
    std::string operator()(const vela::CustomEncodableValue& custom) const {
      if (const auto* options = custom.GetIf<CoreNimbusOptions>()) {
        return "options " + (*this)(options->ToEncodableList());
      }
      if (const auto* response = custom.GetIf<CoreInitializeResponse>()) {
        return "app " + (*this)(response->ToEncodableList());
      }
      return "<custom>";
    }
    static std::string Count(size_t n) { return "<" + std::to_string(n) + " numbers>"; }
  };
  return std::visit(Visitor{}, value.variant());
}

}  // namespace tervala_bundle
