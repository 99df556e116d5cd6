#include "app/variant/variant.h"

#include <algorithm>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "app/assert.h"
#include "app/log.h"

namespace nimbus {
namespace {

// The text of the static empty string.
constexpr char kEmptyString[] = "";

// The rank of a tag in the order of variants: the string forms rank together, and so do
// the blob forms.
int Rank(Variant::InternalType type) {
  switch (type) {
    case Variant::kInternalTypeStaticString:
    case Variant::kInternalTypeMutableString:
    case Variant::kInternalTypeSmallString:
      return Variant::kInternalTypeStaticString;
    case Variant::kInternalTypeStaticBlob:
    case Variant::kInternalTypeMutableBlob:
      return Variant::kInternalTypeStaticBlob;
    default:
      return type;
  }
}

// A per-thread empty container handed out by a wrong-type container access, so that the
// caller works on something harmless instead of a pointer that is not there.
template <typename Container>
Container& ScratchContainer() {
  thread_local Container scratch;
  scratch.clear();
  return scratch;
}

}  // namespace

const char* const Variant::kTypeNames[] = {
    "Null",   "Int64", "Double",     "Bool",        "StaticString", "MutableString",
    "Vector", "Map",   "StaticBlob", "MutableBlob", "SmallString",  nullptr,
};

const char* Variant::TypeName(InternalType type) {
  const int t = type;
  NIMBUS_ASSERT_RETURN(t >= 0 && t < num_variant_types, "Unknown");
  return kTypeNames[t];
}

// ---------------------------------------------------------------------------------------
// Construction, copying, destruction

Variant::Variant(const char* static_string) : type_(kInternalTypeStaticString) {
  value_.static_string_value = static_string != nullptr ? static_string : kEmptyString;
}

Variant::Variant(const std::string& text) : type_(kInternalTypeNull) { set_mutable_string(text); }

Variant::Variant(std::string&& text) : type_(kInternalTypeNull) {
  if (text.size() <= kMaxSmallStringSize) {
    SetSmallString(text.data(), text.size());
  } else {
    type_ = kInternalTypeMutableString;
    value_.mutable_string_value = new std::string(std::move(text));
  }
}

Variant::Variant(const std::vector<Variant>& vector) : type_(kInternalTypeVector) {
  value_.vector_value = new std::vector<Variant>(vector);
}

Variant::Variant(const std::map<Variant, Variant>& map) : type_(kInternalTypeMap) {
  value_.map_value = new std::map<Variant, Variant>(map);
}

Variant Variant::EmptyVector() {
  Variant v;
  v.Clear(kInternalTypeVector);
  return v;
}

Variant Variant::EmptyMap() {
  Variant v;
  v.Clear(kInternalTypeMap);
  return v;
}

Variant Variant::EmptyString() {
  Variant v;
  v.Clear(kInternalTypeSmallString);
  return v;
}

Variant Variant::FromStaticBlob(const void* data, size_t size) {
  Variant v;
  v.set_static_blob(data, size);
  return v;
}

Variant Variant::FromMutableBlob(const void* data, size_t size) {
  Variant v;
  v.set_mutable_blob(data, size);
  return v;
}

Variant::Variant(const Variant& other) : type_(kInternalTypeNull) {
  value_.int64_value = 0;
  *this = other;
}

Variant::Variant(Variant&& other) noexcept : type_(other.type_), value_(other.value_) {
  other.type_ = kInternalTypeNull;
  other.value_.int64_value = 0;
}

Variant& Variant::operator=(const Variant& other) {
  if (this == &other) return *this;
  if (is_container_type()) {
    // `other` may live inside the container this variant owns: copy it out first.
    Variant copy(other);
    return *this = std::move(copy);
  }
  switch (other.type_) {
    case kInternalTypeMutableString:
      // A short heap text becomes inline text in the copy.
      set_mutable_string(*other.value_.mutable_string_value, true);
      return *this;
    case kInternalTypeMutableBlob:
      set_mutable_blob(other.value_.blob_value.data, other.value_.blob_value.size);
      return *this;
    default:
      break;
  }
  Clear(other.type_);
  switch (other.type_) {
    case kInternalTypeNull:
      break;
    case kInternalTypeInt64:
      value_.int64_value = other.value_.int64_value;
      break;
    case kInternalTypeDouble:
      value_.double_value = other.value_.double_value;
      break;
    case kInternalTypeBool:
      value_.bool_value = other.value_.bool_value;
      break;
    case kInternalTypeStaticString:
      value_.static_string_value = other.value_.static_string_value;
      break;
    case kInternalTypeVector:
      *value_.vector_value = *other.value_.vector_value;
      break;
    case kInternalTypeMap:
      *value_.map_value = *other.value_.map_value;
      break;
    case kInternalTypeStaticBlob:
      value_.blob_value = other.value_.blob_value;
      break;
    case kInternalTypeSmallString:
      std::memcpy(value_.small_string, other.value_.small_string, sizeof(value_.small_string));
      break;
    default:
      LogAssert("false");
      break;
  }
  return *this;
}

Variant& Variant::operator=(Variant&& other) noexcept {
  if (this == &other) return *this;
  // Take the value first: `other` may live inside what this variant owns.
  const InternalType type = other.type_;
  const Value value = other.value_;
  other.type_ = kInternalTypeNull;
  other.value_.int64_value = 0;
  Release();
  type_ = type;
  value_ = value;
  return *this;
}

void Variant::Release() {
  switch (type_) {
    case kInternalTypeMutableString:
      delete value_.mutable_string_value;
      break;
    case kInternalTypeVector:
      delete value_.vector_value;
      break;
    case kInternalTypeMap:
      delete value_.map_value;
      break;
    case kInternalTypeMutableBlob:
      delete[] value_.blob_value.data;
      break;
    default:
      break;
  }
  type_ = kInternalTypeNull;
  value_.int64_value = 0;
}

void Variant::Clear(InternalType type) {
  const bool keep = type == type_ && (type == kInternalTypeMutableString ||
                                      type == kInternalTypeVector || type == kInternalTypeMap);
  if (!keep) Release();
  switch (type) {
    case kInternalTypeNull:
    case kInternalTypeInt64:
      value_.int64_value = 0;
      break;
    case kInternalTypeDouble:
      value_.double_value = 0.0;
      break;
    case kInternalTypeBool:
      value_.bool_value = false;
      break;
    case kInternalTypeStaticString:
      value_.static_string_value = kEmptyString;
      break;
    case kInternalTypeMutableString:
      if (keep) {
        value_.mutable_string_value->clear();
      } else {
        value_.mutable_string_value = new std::string();
      }
      break;
    case kInternalTypeVector:
      if (keep) {
        value_.vector_value->clear();
      } else {
        value_.vector_value = new std::vector<Variant>();
      }
      break;
    case kInternalTypeMap:
      if (keep) {
        value_.map_value->clear();
      } else {
        value_.map_value = new std::map<Variant, Variant>();
      }
      break;
    case kInternalTypeStaticBlob:
    case kInternalTypeMutableBlob:
      value_.blob_value = {nullptr, 0};
      break;
    case kInternalTypeSmallString:
      SetSmallString("", 0);
      break;
    default:
      LogAssert("false");
      type = kInternalTypeNull;
      break;
  }
  type_ = type;
}

// ---------------------------------------------------------------------------------------
// Checked access

bool Variant::CheckType(InternalType type) const {
  if (type_ == type) return true;
  LogError("this->type_ == static_cast<InternalType>(type)");
  LogAssert("Expected Variant to be of type %s, but it was of type %s.", TypeName(type),
            TypeName(type_));
  return false;
}

bool Variant::CheckString() const {
  if (is_string()) return true;
  LogError("is_string()");
  LogAssert("Expected Variant to be a String, but it was of type %s.", TypeName(type_));
  return false;
}

bool Variant::CheckBlob() const {
  if (is_blob()) return true;
  LogError("is_blob()");
  LogAssert("Expected Variant to be a Blob, but it was of type %s.", TypeName(type_));
  return false;
}

int64_t Variant::int64_value() const {
  return CheckType(kInternalTypeInt64) ? value_.int64_value : 0;
}

double Variant::double_value() const {
  return CheckType(kInternalTypeDouble) ? value_.double_value : 0.0;
}

bool Variant::bool_value() const {
  return CheckType(kInternalTypeBool) ? value_.bool_value : false;
}

const char* Variant::string_value() const {
  if (!CheckString()) return kEmptyString;
  switch (type_) {
    case kInternalTypeStaticString:
      return value_.static_string_value;
    case kInternalTypeMutableString:
      return value_.mutable_string_value->c_str();
    default:
      return value_.small_string;
  }
}

std::string Variant::mutable_string() const {
  if (!CheckString()) return std::string();
  switch (type_) {
    case kInternalTypeStaticString:
      return std::string(value_.static_string_value);
    case kInternalTypeMutableString:
      return *value_.mutable_string_value;
    default:
      return std::string(value_.small_string, small_string_size());
  }
}

std::vector<Variant>& Variant::vector() {
  if (!CheckType(kInternalTypeVector)) return ScratchContainer<std::vector<Variant>>();
  return *value_.vector_value;
}

const std::vector<Variant>& Variant::vector() const {
  if (!CheckType(kInternalTypeVector)) return ScratchContainer<std::vector<Variant>>();
  return *value_.vector_value;
}

std::map<Variant, Variant>& Variant::map() {
  if (!CheckType(kInternalTypeMap)) return ScratchContainer<std::map<Variant, Variant>>();
  return *value_.map_value;
}

const std::map<Variant, Variant>& Variant::map() const {
  if (!CheckType(kInternalTypeMap)) return ScratchContainer<std::map<Variant, Variant>>();
  return *value_.map_value;
}

const uint8_t* Variant::blob_data() const { return CheckBlob() ? value_.blob_value.data : nullptr; }

size_t Variant::blob_size() const { return CheckBlob() ? value_.blob_value.size : 0; }

// ---------------------------------------------------------------------------------------
// Setters

void Variant::set_int64_value(int64_t value) {
  Clear(kInternalTypeInt64);
  value_.int64_value = value;
}

void Variant::set_double_value(double value) {
  Clear(kInternalTypeDouble);
  value_.double_value = value;
}

void Variant::set_bool_value(bool value) {
  Clear(kInternalTypeBool);
  value_.bool_value = value;
}

void Variant::set_string_value(const char* static_string) {
  Clear(kInternalTypeStaticString);
  if (static_string != nullptr) value_.static_string_value = static_string;
}

void Variant::set_mutable_string(const std::string& text, bool allow_small) {
  if (type_ == kInternalTypeMutableString && value_.mutable_string_value == &text &&
      !(allow_small && text.size() <= kMaxSmallStringSize)) {
    return;  // already this variant's own text
  }
  if (allow_small && text.size() <= kMaxSmallStringSize) {
    // Copied aside first: `text` may be the heap string that Clear releases.
    char inline_text[kMaxSmallStringSize];
    const size_t size = text.size();
    if (size > 0) std::memcpy(inline_text, text.data(), size);
    Clear(kInternalTypeSmallString);
    SetSmallString(inline_text, size);
    return;
  }
  if (type_ == kInternalTypeMutableString) {
    *value_.mutable_string_value = text;
    return;
  }
  auto* copy = new std::string(text);
  Release();
  type_ = kInternalTypeMutableString;
  value_.mutable_string_value = copy;
}

void Variant::set_vector(const std::vector<Variant>& vector) {
  if (type_ == kInternalTypeVector) {
    if (value_.vector_value == &vector) return;
    // `vector` may be nested inside ours; copy it out before overwriting.
    std::vector<Variant> copy(vector);
    value_.vector_value->swap(copy);
    return;
  }
  *this = Variant(vector);
}

void Variant::set_map(const std::map<Variant, Variant>& map) {
  if (type_ == kInternalTypeMap) {
    if (value_.map_value == &map) return;
    std::map<Variant, Variant> copy(map);
    value_.map_value->swap(copy);
    return;
  }
  *this = Variant(map);
}

void Variant::set_static_blob(const void* data, size_t size) {
  Clear(kInternalTypeStaticBlob);
  value_.blob_value = {static_cast<const uint8_t*>(data), data != nullptr ? size : 0};
}

void Variant::set_mutable_blob(const void* data, size_t size) {
  uint8_t* copy = nullptr;
  if (data != nullptr && size > 0) {
    copy = new uint8_t[size];
    std::memcpy(copy, data, size);
  } else {
    size = 0;
  }
  Clear(kInternalTypeMutableBlob);
  value_.blob_value = {copy, size};
}

void Variant::SetSmallString(const char* text, size_t size) {
  type_ = kInternalTypeSmallString;
  std::memset(value_.small_string, 0, sizeof(value_.small_string));
  if (size > 0) std::memcpy(value_.small_string, text, size);
  value_.small_string[kMaxSmallStringSize] = static_cast<char>(kMaxSmallStringSize - size);
}

size_t Variant::small_string_size() const {
  return kMaxSmallStringSize - static_cast<size_t>(value_.small_string[kMaxSmallStringSize]);
}

// ---------------------------------------------------------------------------------------
// Conversions

Variant Variant::AsString() const {
  char buffer[64];
  switch (type_) {
    case kInternalTypeInt64:
      std::snprintf(buffer, sizeof(buffer), "%" PRId64, value_.int64_value);
      return Variant(std::string(buffer));
    case kInternalTypeDouble:
      std::snprintf(buffer, sizeof(buffer), "%.16f", value_.double_value);
      return Variant(std::string(buffer));
    case kInternalTypeBool:
      return Variant(value_.bool_value ? "true" : "false");
    case kInternalTypeStaticString:
    case kInternalTypeMutableString:
    case kInternalTypeSmallString:
      return *this;
    default:
      return Variant(kEmptyString);
  }
}

Variant Variant::AsInt64() const {
  switch (type_) {
    case kInternalTypeInt64:
      return *this;
    case kInternalTypeDouble: {
      const double value = value_.double_value;
      if (std::isnan(value)) return Variant(int64_t{0});
      // 2^63 is exactly representable; anything at or beyond it saturates.
      if (value >= 9223372036854775808.0) return Variant(INT64_MAX);
      if (value < -9223372036854775808.0) return Variant(INT64_MIN);
      return Variant(static_cast<int64_t>(value));
    }
    case kInternalTypeBool:
      return Variant(int64_t{value_.bool_value ? 1 : 0});
    case kInternalTypeStaticString:
    case kInternalTypeMutableString:
    case kInternalTypeSmallString: {
      // Decimal text within the 32-bit range of the Windows C library's strtol, so that
      // values agree across platforms: beyond it they saturate.
      const long long parsed = std::strtoll(string_value(), nullptr, 10);
      int64_t value = parsed;
      if (value > INT32_MAX) value = INT32_MAX;
      if (value < INT32_MIN) value = INT32_MIN;
      return Variant(value);
    }
    default:
      return Variant(int64_t{0});
  }
}

Variant Variant::AsDouble() const {
  switch (type_) {
    case kInternalTypeInt64:
      return Variant(static_cast<double>(value_.int64_value));
    case kInternalTypeDouble:
      return *this;
    case kInternalTypeBool:
      return Variant(value_.bool_value ? 1.0 : 0.0);
    case kInternalTypeStaticString:
    case kInternalTypeMutableString:
    case kInternalTypeSmallString:
      return Variant(std::strtod(string_value(), nullptr));
    default:
      return Variant(0.0);
  }
}

Variant Variant::AsBool() const {
  switch (type_) {
    case kInternalTypeNull:
      return Variant(false);
    case kInternalTypeInt64:
      return Variant(value_.int64_value != 0);
    case kInternalTypeDouble:
      return Variant(value_.double_value != 0.0);
    case kInternalTypeBool:
      return *this;
    case kInternalTypeStaticString:
    case kInternalTypeMutableString:
    case kInternalTypeSmallString: {
      const char* text = string_value();
      return Variant(text[0] != '\0' && std::strcmp(text, "false") != 0);
    }
    case kInternalTypeVector:
      return Variant(!value_.vector_value->empty());
    case kInternalTypeMap:
      return Variant(!value_.map_value->empty());
    case kInternalTypeStaticBlob:
    case kInternalTypeMutableBlob:
      return Variant(value_.blob_value.size != 0);
    default:
      LogAssert("false");
      return Variant(false);
  }
}

// ---------------------------------------------------------------------------------------
// Comparison

bool Variant::operator==(const Variant& other) const {
  const int rank = Rank(type_);
  if (rank != Rank(other.type_)) return false;
  switch (rank) {
    case kInternalTypeNull:
      return true;
    case kInternalTypeInt64:
      return value_.int64_value == other.value_.int64_value;
    case kInternalTypeDouble:
      return value_.double_value == other.value_.double_value;
    case kInternalTypeBool:
      return value_.bool_value == other.value_.bool_value;
    case kInternalTypeStaticString:
      return std::strcmp(string_value(), other.string_value()) == 0;
    case kInternalTypeVector:
      return *value_.vector_value == *other.value_.vector_value;
    case kInternalTypeMap: {
      const auto& a = *value_.map_value;
      const auto& b = *other.value_.map_value;
      if (a.size() != b.size()) return false;
      for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
        if (!(i->first == j->first) || !(i->second == j->second)) return false;
      }
      return true;
    }
    case kInternalTypeStaticBlob: {
      const Blob& a = value_.blob_value;
      const Blob& b = other.value_.blob_value;
      if (a.size != b.size) return false;
      if (is_static_blob() && other.is_static_blob() && a.data == b.data) return true;
      return a.size == 0 || std::memcmp(a.data, b.data, a.size) == 0;
    }
    default:
      LogAssert("false");
      return false;
  }
}

bool Variant::operator<(const Variant& other) const {
  const int rank = Rank(type_);
  const int other_rank = Rank(other.type_);
  if (rank != other_rank) return rank < other_rank;
  switch (rank) {
    case kInternalTypeNull:
      return false;
    case kInternalTypeInt64:
      return value_.int64_value < other.value_.int64_value;
    case kInternalTypeDouble:
      return value_.double_value < other.value_.double_value;
    case kInternalTypeBool:
      return value_.bool_value < other.value_.bool_value;
    case kInternalTypeStaticString:
      return std::strcmp(string_value(), other.string_value()) < 0;
    case kInternalTypeVector: {
      // At the first unequal pair, that pair's order decides; a proper prefix sorts first.
      const auto& a = *value_.vector_value;
      const auto& b = *other.value_.vector_value;
      const size_t common = std::min(a.size(), b.size());
      for (size_t i = 0; i < common; ++i) {
        if (!(a[i] == b[i])) return a[i] < b[i];
      }
      return a.size() < b.size();
    }
    case kInternalTypeMap: {
      const auto& a = *value_.map_value;
      const auto& b = *other.value_.map_value;
      auto i = a.begin();
      auto j = b.begin();
      for (; i != a.end() && j != b.end(); ++i, ++j) {
        if (!(i->first == j->first)) return i->first < j->first;
        if (!(i->second == j->second)) return i->second < j->second;
      }
      return i == a.end() && j != b.end();
    }
    case kInternalTypeStaticBlob: {
      const Blob& a = value_.blob_value;
      const Blob& b = other.value_.blob_value;
      if (a.size != b.size) return a.size < b.size;
      return a.size > 0 && std::memcmp(a.data, b.data, a.size) < 0;
    }
    default:
      LogAssert("false");
      return false;
  }
}

}  // namespace nimbus
