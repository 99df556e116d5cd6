#include "bundle/sample/nimbus_records.h"

#include <cstdio>
#include <utility>

namespace tervala_bundle {

const RecordSerializer& RecordSerializer::GetInstance() {
  static const RecordSerializer instance;
  return instance;
}

void RecordSerializer::WriteValue(const vela::EncodableValue& value,
                                  vela::ByteStreamWriter* stream) const {
  if (const auto* custom = value.GetIf<vela::CustomEncodableValue>()) {
    if (const auto* record = custom->GetIf<TaggedRecord>()) {
      stream->WriteByte(record->tag);
      WriteValue(vela::EncodableValue(record->fields), stream);
      return;
    }
  }
  StandardCodecSerializer::WriteValue(value, stream);
}

vela::EncodableValue RecordSerializer::ReadValueOfType(uint8_t type,
                                                       vela::ByteStreamReader* stream) const {
  if (type != kOptionsTag && type != kDescriptionTag) {
    return StandardCodecSerializer::ReadValueOfType(type, stream);
  }
  vela::EncodableValue body = ReadValue(stream);
  auto* fields = body.GetIf<vela::EncodableList>();
  if (fields == nullptr) {
    // A record is always a list; anything else makes the message undecodable.
    stream->SetFailed();
    return vela::EncodableValue();
  }
  return vela::EncodableValue(vela::CustomEncodableValue(TaggedRecord{type, std::move(*fields)}));
}

const vela::StandardMessageCodec& RecordCodec() {
  return vela::StandardMessageCodec::GetInstance(&RecordSerializer::GetInstance());
}

std::vector<uint8_t> EncodeRecordMessage(const vela::EncodableValue& value) {
  std::unique_ptr<std::vector<uint8_t>> bytes = RecordCodec().EncodeMessage(value);
  return bytes ? std::move(*bytes) : std::vector<uint8_t>();
}

namespace {

const TaggedRecord* RecordOf(const vela::EncodableValue& value, uint8_t tag, size_t size) {
  const auto* custom = value.GetIf<vela::CustomEncodableValue>();
  if (custom == nullptr) return nullptr;
  const auto* record = custom->GetIf<TaggedRecord>();
  if (record == nullptr || record->tag != tag || record->fields.size() != size) return nullptr;
  return record;
}

}  // namespace

AppOptionsRecord::AppOptionsRecord() {
  for (size_t i = 0; i < 4; ++i) fields[i] = std::string();
}

const std::string& AppOptionsRecord::Text(Field field) const {
  static const std::string kEmpty;
  return fields[field] ? *fields[field] : kEmpty;
}

vela::EncodableValue AppOptionsRecord::ToValue() const {
  TaggedRecord record{kOptionsTag, {}};
  record.fields.reserve(kFieldCount);
  for (size_t i = 0; i < kFieldCount; ++i) {
    record.fields.push_back(fields[i] ? vela::EncodableValue(*fields[i]) : vela::EncodableValue());
  }
  return vela::EncodableValue(vela::CustomEncodableValue(std::move(record)));
}

std::optional<AppOptionsRecord> AppOptionsRecord::FromValue(const vela::EncodableValue& value) {
  const TaggedRecord* record = RecordOf(value, kOptionsTag, kFieldCount);
  if (record == nullptr) return std::nullopt;
  AppOptionsRecord options;
  for (size_t i = 0; i < kFieldCount; ++i) {
    const vela::EncodableValue& field = record->fields[i];
    if (const auto* text = field.GetIf<std::string>()) {
      options.fields[i] = *text;
    } else if (!field.IsNull() || i < 4) {
      return std::nullopt;  // a required text missing, or a field of another type
    }
  }
  return options;
}

vela::EncodableValue AppDescription::ToValue() const {
  TaggedRecord record{kDescriptionTag, {}};
  record.fields.emplace_back(name);
  record.fields.push_back(options.ToValue());
  record.fields.push_back(data_collection_enabled ? vela::EncodableValue(*data_collection_enabled)
                                                  : vela::EncodableValue());
  record.fields.emplace_back(plugin_constants);
  return vela::EncodableValue(vela::CustomEncodableValue(std::move(record)));
}

std::optional<AppDescription> AppDescription::FromValue(const vela::EncodableValue& value) {
  const TaggedRecord* record = RecordOf(value, kDescriptionTag, 4);
  if (record == nullptr) return std::nullopt;
  const auto* name = record->fields[0].GetIf<std::string>();
  std::optional<AppOptionsRecord> options = AppOptionsRecord::FromValue(record->fields[1]);
  const auto* constants = record->fields[3].GetIf<vela::EncodableMap>();
  const vela::EncodableValue& flag = record->fields[2];
  if (name == nullptr || !options || constants == nullptr ||
      !(flag.IsNull() || flag.Holds<bool>())) {
    return std::nullopt;
  }
  AppDescription description;
  description.name = *name;
  description.options = std::move(*options);
  if (const auto* enabled = flag.GetIf<bool>()) description.data_collection_enabled = *enabled;
  description.plugin_constants = *constants;
  return description;
}

ChannelReply ChannelReply::Decode(const uint8_t* data, size_t size) {
  ChannelReply reply;
  if (data == nullptr || size == 0) return reply;
  reply.kind = Kind::kMalformed;
  std::unique_ptr<vela::EncodableValue> decoded = RecordCodec().DecodeMessage(data, size);
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
      if (const auto* record = custom.GetIf<TaggedRecord>()) {
        return "record " + std::to_string(record->tag) + " " + (*this)(record->fields);
      }
      return "<custom>";
    }
    static std::string Count(size_t n) { return "<" + std::to_string(n) + " numbers>"; }
  };
  return std::visit(Visitor{}, value.variant());
}

}  // namespace tervala_bundle
