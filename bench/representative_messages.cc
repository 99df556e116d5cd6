#include "bench/representative_messages.h"

#include <cstdint>
#include <cstdio>

#include "nimbus_core_plugin/bridge_internal_codec_serializer.h"
#include "nimbus_core_plugin/core_initialize_response.h"
#include "nimbus_core_plugin/core_nimbus_options.h"

namespace tervala::bench {
namespace {

using nimbus_core_windows::BridgeInternalCodecSerializer;
using nimbus_core_windows::CoreInitializeResponse;
using nimbus_core_windows::CoreNimbusOptions;
using vela::CustomEncodableValue;
using vela::EncodableList;
using vela::EncodableMap;
using vela::EncodableValue;

// Options as an application fills them in from its console config.
CoreNimbusOptions TypicalOptions() {
  CoreNimbusOptions options("AIzaSyD-example-api-key-0123456789abcdef",
                            "1:123456789012:desktop:0a1b2c3d4e5f6a7b", "123456789012",
                            "tervala-demo-project");
  options.set_database_url("https://tervala-demo-project.nimbus.example");
  options.set_storage_bucket("tervala-demo-project.appspot.example");
  options.set_tracking_id("UA-12345678-1");
  return options;
}

EncodableValue PluginRequest() {
  return EncodableList{EncodableValue("[DEFAULT]"),
                       EncodableValue(CustomEncodableValue(TypicalOptions()))};
}

EncodableValue PluginReply() {
  CoreInitializeResponse response("[DEFAULT]", TypicalOptions(), EncodableMap{});
  response.set_is_automatic_data_collection_enabled(true);
  return EncodableList{EncodableValue(CustomEncodableValue(response))};
}

EncodableValue ByteList() {
  std::vector<uint8_t> bytes(1 << 20);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 131 + 7);
  return bytes;
}

EncodableValue Int64List() {
  std::vector<int64_t> list(100000);
  // A spread of magnitudes, as timestamps, counters and ids mix in real data.
  for (size_t i = 0; i < list.size(); ++i) {
    list[i] = static_cast<int64_t>(i * i * 2654435761u) >> (i % 40);
  }
  return list;
}

EncodableValue DoubleList() {
  std::vector<double> list(100000);
  for (size_t i = 0; i < list.size(); ++i) list[i] = static_cast<double>(i) * 0.37 - 1000.0;
  return list;
}

std::string Key(const char* prefix, int i) {
  char key[32];
  std::snprintf(key, sizeof key, "%s%05d", prefix, i);
  return key;
}

EncodableValue StringIntMap() {
  EncodableMap map;
  for (int i = 0; i < 10000; ++i) map.emplace(Key("key-", i), EncodableValue(i * 7));
  return map;
}

EncodableValue ListOfMaps() {
  EncodableList list;
  list.reserve(10000);
  for (int i = 0; i < 10000; ++i) {
    list.push_back(EncodableMap{
        {EncodableValue("id"), EncodableValue(i)},
        {EncodableValue("name"), EncodableValue(Key("item ", i))},
        {EncodableValue("score"), EncodableValue(i * 0.25)},
        {EncodableValue("active"), EncodableValue(i % 3 == 0)},
    });
  }
  return list;
}

EncodableValue DeepNesting() {
  // Built inside out: each level is a map holding its depth, a short list, and the level
  // below it.
  EncodableValue level = EncodableList{EncodableValue("leaf")};
  for (int depth = 14; depth >= 0; --depth) {
    EncodableList tags{EncodableValue(Key("tag-", depth)), EncodableValue(depth % 2 == 0)};
    EncodableMap map{
        {EncodableValue("depth"), EncodableValue(depth)},
        {EncodableValue("tags"), EncodableValue(std::move(tags))},
        {EncodableValue("child"), std::move(level)},
    };
    // A list between maps: two container levels per depth, 30 in all.
    level = EncodableList{EncodableValue(std::move(map))};
  }
  return level;
}

}  // namespace

std::vector<RepresentativeMessage> RepresentativeMessages() {
  const auto* standard = &vela::StandardMessageCodec::GetInstance();
  const auto* plugin = &BridgeInternalCodecSerializer::GetCodec();
  std::vector<RepresentativeMessage> messages;
  messages.push_back({"PluginRequest", MessageKind::kStructured, PluginRequest(), plugin, true});
  messages.push_back({"PluginReply", MessageKind::kStructured, PluginReply(), plugin, true});
  messages.push_back({"ByteList1MiB", MessageKind::kBulk, ByteList(), standard, false});
  messages.push_back({"Int64List100k", MessageKind::kBulk, Int64List(), standard, false});
  messages.push_back({"DoubleList100k", MessageKind::kBulk, DoubleList(), standard, false});
  messages.push_back(
      {"StringIntMap10k", MessageKind::kStructured, StringIntMap(), standard, false});
  messages.push_back({"ListOfMaps10k", MessageKind::kStructured, ListOfMaps(), standard, false});
  messages.push_back({"DeepNesting", MessageKind::kStructured, DeepNesting(), standard, false});
  return messages;
}

}  // namespace tervala::bench
