#include "bench/msgpack_yardstick.h"

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "nimbus_core_plugin/core_initialize_response.h"
#include "nimbus_core_plugin/core_nimbus_options.h"

namespace tervala::bench {
namespace {

using nimbus_core_windows::CoreInitializeResponse;
using nimbus_core_windows::CoreNimbusOptions;
using vela::CustomEncodableValue;
using vela::EncodableList;
using vela::EncodableMap;
using vela::EncodableValue;

void PackList(const EncodableList& list, msgpack_packer* packer) {
  msgpack_pack_array(packer, list.size());
  for (const EncodableValue& element : list) MsgpackPack(element, packer);
}

struct Packer {
  msgpack_packer* packer;

  void operator()(std::monostate) const { msgpack_pack_nil(packer); }
  void operator()(bool b) const { b ? msgpack_pack_true(packer) : msgpack_pack_false(packer); }
  void operator()(int32_t i) const { msgpack_pack_int32(packer, i); }
  void operator()(int64_t i) const { msgpack_pack_int64(packer, i); }
  void operator()(double d) const { msgpack_pack_double(packer, d); }
  void operator()(const std::string& s) const {
    msgpack_pack_str(packer, s.size());
    msgpack_pack_str_body(packer, s.data(), s.size());
  }
  void operator()(const std::vector<uint8_t>& bytes) const {
    msgpack_pack_bin(packer, bytes.size());
    msgpack_pack_bin_body(packer, bytes.data(), bytes.size());
  }
  void operator()(const std::vector<int32_t>& list) const {
    msgpack_pack_array(packer, list.size());
    for (int32_t i : list) msgpack_pack_int32(packer, i);
  }
  void operator()(const std::vector<int64_t>& list) const {
    msgpack_pack_array(packer, list.size());
    for (int64_t i : list) msgpack_pack_int64(packer, i);
  }
  void operator()(const std::vector<double>& list) const {
    msgpack_pack_array(packer, list.size());
    for (double d : list) msgpack_pack_double(packer, d);
  }
  void operator()(const std::vector<float>& list) const {
    msgpack_pack_array(packer, list.size());
    for (float f : list) msgpack_pack_float(packer, f);
  }
  void operator()(const EncodableList& list) const { PackList(list, packer); }
  void operator()(const EncodableMap& map) const {
    msgpack_pack_map(packer, map.size());
    for (const auto& [key, element] : map) {
      MsgpackPack(key, packer);
      MsgpackPack(element, packer);
    }
  }
  void operator()(const CustomEncodableValue& custom) const {
    // The plug-in serializer writes these as their list form too.
    if (const auto* options = custom.GetIf<CoreNimbusOptions>()) {
      PackList(options->ToEncodableList(), packer);
    } else if (const auto* response = custom.GetIf<CoreInitializeResponse>()) {
      PackList(response->ToEncodableList(), packer);
    } else {
      msgpack_pack_nil(packer);
    }
  }
};

EncodableValue Integer(int64_t value) {
  if (value >= std::numeric_limits<int32_t>::min() &&
      value <= std::numeric_limits<int32_t>::max()) {
    return EncodableValue(static_cast<int32_t>(value));
  }
  return EncodableValue(value);
}

}  // namespace

void MsgpackPack(const EncodableValue& value, msgpack_packer* packer) {
  std::visit(Packer{packer}, value.variant());
}

EncodableValue MsgpackToValue(const msgpack_object& object) {
  switch (object.type) {
    case MSGPACK_OBJECT_NIL:
      return EncodableValue();
    case MSGPACK_OBJECT_BOOLEAN:
      return EncodableValue(object.via.boolean);
    case MSGPACK_OBJECT_POSITIVE_INTEGER:
      if (object.via.u64 > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        return EncodableValue();
      }
      return Integer(static_cast<int64_t>(object.via.u64));
    case MSGPACK_OBJECT_NEGATIVE_INTEGER:
      return Integer(object.via.i64);
    case MSGPACK_OBJECT_FLOAT32:
    case MSGPACK_OBJECT_FLOAT64:
      return EncodableValue(object.via.f64);
    case MSGPACK_OBJECT_STR:
      return EncodableValue(std::string(object.via.str.ptr, object.via.str.size));
    case MSGPACK_OBJECT_BIN: {
      const auto* bytes = reinterpret_cast<const uint8_t*>(object.via.bin.ptr);
      return EncodableValue(std::vector<uint8_t>(bytes, bytes + object.via.bin.size));
    }
    case MSGPACK_OBJECT_ARRAY: {
      EncodableList list;
      list.reserve(object.via.array.size);
      for (uint32_t i = 0; i < object.via.array.size; ++i) {
        list.push_back(MsgpackToValue(object.via.array.ptr[i]));
      }
      return EncodableValue(std::move(list));
    }
    case MSGPACK_OBJECT_MAP: {
      EncodableMap map;
      for (uint32_t i = 0; i < object.via.map.size; ++i) {
        const msgpack_object_kv& entry = object.via.map.ptr[i];
        // Keys usually come in order; the hint makes that case cheap, as in the codec.
        map.emplace_hint(map.end(), MsgpackToValue(entry.key), MsgpackToValue(entry.val));
      }
      return EncodableValue(std::move(map));
    }
    default:
      return EncodableValue();
  }
}

}  // namespace tervala::bench
