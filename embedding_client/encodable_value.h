#ifndef TERVALA_EMBEDDING_CLIENT_ENCODABLE_VALUE_H_
#define TERVALA_EMBEDDING_CLIENT_ENCODABLE_VALUE_H_

// The value carried by every channel message: a tagged union of the types that the
// standard codec can put on the wire, with the ordering used for map keys.

#include <any>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <variant>
#include <vector>

namespace vela {

// Raised when a value is read as an alternative it does not hold. Its text is fixed
// ("bad variant access") because it travels in channel error replies.
class BadVariantAccess : public std::bad_variant_access {
 public:
  const char* what() const noexcept override { return "bad variant access"; }
};

// Raised when a custom value is extracted as a type it does not hold. Its text is fixed
// ("Bad any_cast") because it travels in channel error replies.
class BadAnyCast : public std::bad_any_cast {
 public:
  const char* what() const noexcept override { return "Bad any_cast"; }
};

class EncodableValue;

// A sequence of values (wire tag 12).
using EncodableList = std::vector<EncodableValue>;
// Values keyed by values, in the value ordering (wire tag 13).
using EncodableMap = std::map<EncodableValue, EncodableValue>;

// An object of any copyable type that a codec extension knows how to write. Copies are
// deep. Custom values compare by identity (the address of the holder), not by content.
class CustomEncodableValue {
 public:
  template <typename T>
  explicit CustomEncodableValue(T&& value) requires(
      !std::is_same_v<std::decay_t<T>, CustomEncodableValue>)
      : value_(std::forward<T>(value)) {}

  CustomEncodableValue(const CustomEncodableValue&) = default;
  CustomEncodableValue(CustomEncodableValue&&) = default;
  CustomEncodableValue& operator=(const CustomEncodableValue&) = default;
  CustomEncodableValue& operator=(CustomEncodableValue&&) = default;

  // The identity of the held object's type.
  const std::type_info& type() const noexcept { return value_.type(); }

  template <typename T>
  bool Holds() const noexcept {
    return value_.type() == typeid(T);
  }

  // The held object, or null when it is not a T.
  template <typename T>
  const T* GetIf() const noexcept {
    return std::any_cast<T>(&value_);
  }
  template <typename T>
  T* GetIf() noexcept {
    return std::any_cast<T>(&value_);
  }

  // The held object; throws BadAnyCast when it is not a T.
  template <typename T>
  const T& Get() const {
    if (const T* held = GetIf<T>()) return *held;
    throw BadAnyCast();
  }
  template <typename T>
  T& Get() {
    if (T* held = GetIf<T>()) return *held;
    throw BadAnyCast();
  }

  friend bool operator==(const CustomEncodableValue& a, const CustomEncodableValue& b) {
    return &a == &b;
  }
  friend bool operator<(const CustomEncodableValue& a, const CustomEncodableValue& b) {
    return std::less<const CustomEncodableValue*>()(&a, &b);
  }

 private:
  std::any value_;
};

// The alternatives in index order; the index decides the ordering of values of
// different alternatives.
using EncodableVariant = std::variant<std::monostate,        // 0 null
                                      bool,                  // 1
                                      int32_t,               // 2
                                      int64_t,               // 3
                                      double,                // 4
                                      std::string,           // 5 UTF-8 text
                                      std::vector<uint8_t>,  // 6
                                      std::vector<int32_t>,  // 7
                                      std::vector<int64_t>,  // 8
                                      std::vector<double>,   // 9
                                      EncodableList,         // 10
                                      EncodableMap,          // 11
                                      CustomEncodableValue,  // 12
                                      std::vector<float>>;   // 13

// What an EncodableValue can be built from: anything that builds one alternative.
template <typename T>
concept EncodableAlternative = !std::is_same_v<std::decay_t<T>, EncodableValue> &&
                               std::is_constructible_v<EncodableVariant, T&&>;

// One encodable value. Default-constructed it is null. Read it with Holds/GetIf/Get;
// Get throws BadVariantAccess (never the standard library's own exception) on a
// mismatch, so that the error text sent back to the peer is fixed.
class EncodableValue {
 public:
  EncodableValue() = default;
  EncodableValue(const EncodableValue&) = default;
  EncodableValue(EncodableValue&&) noexcept = default;
  EncodableValue& operator=(const EncodableValue&) = default;
  EncodableValue& operator=(EncodableValue&&) noexcept = default;

  // Builds a value from anything one alternative can be built from (bool, int32_t,
  // int64_t, double, std::string, the vectors, lists, maps, custom values).
  template <EncodableAlternative T>
  EncodableValue(T&& value) : variant_(std::forward<T>(value)) {}  // NOLINT: implicit

  // A C string is text, never a boolean.
  EncodableValue(const char* text) : variant_(std::string(text)) {}  // NOLINT: implicit

  // The alternative's index (0 null ... 13 float list).
  size_t index() const noexcept { return variant_.index(); }
  bool IsNull() const noexcept { return variant_.index() == 0; }

  template <typename T>
  bool Holds() const noexcept {
    return std::holds_alternative<T>(variant_);
  }

  // The held T, or null when the value holds another alternative.
  template <typename T>
  const T* GetIf() const noexcept {
    return std::get_if<T>(&variant_);
  }
  template <typename T>
  T* GetIf() noexcept {
    return std::get_if<T>(&variant_);
  }

  // The held T; throws BadVariantAccess when the value holds another alternative.
  template <typename T>
  const T& Get() const {
    if (const T* held = GetIf<T>()) return *held;
    throw BadVariantAccess();
  }
  template <typename T>
  T& Get() {
    if (T* held = GetIf<T>()) return *held;
    throw BadVariantAccess();
  }

  // A 32- or 64-bit integer widened to 64 bits; throws BadVariantAccess otherwise.
  int64_t LongValue() const;

  // The underlying variant, for std::visit.
  const EncodableVariant& variant() const noexcept { return variant_; }
  EncodableVariant& variant() noexcept { return variant_; }

  // The value ordering: by alternative index, then by content (see Compare).
  friend bool operator<(const EncodableValue& a, const EncodableValue& b) {
    return Compare(a, b) < 0;
  }
  // Content equality. Doubles compare numerically (NaN equals nothing); custom values
  // by identity.
  friend bool operator==(const EncodableValue& a, const EncodableValue& b);

  // Three-way comparison in the value ordering: negative, zero or positive. Doubles are
  // numeric, with every NaN after all numbers and equivalent to the other NaNs, so that
  // the ordering stays a strict weak ordering and maps never merge distinct keys.
  static int Compare(const EncodableValue& a, const EncodableValue& b);

 private:
  EncodableVariant variant_;
};

}  // namespace vela

#endif  // TERVALA_EMBEDDING_CLIENT_ENCODABLE_VALUE_H_
