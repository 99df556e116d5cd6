#ifndef TERVALA_APP_VARIANT_VARIANT_H_
#define TERVALA_APP_VARIANT_VARIANT_H_

// Variant: a dynamically typed value (null, integer, double, bool, string, vector, ordered
// map or blob), the in-memory tree from which JSON text and flexbuffers are made.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

namespace nimbus {

// A value type holding one of eleven forms. Strings and blobs come borrowed (the variant
// points at bytes someone else keeps alive) or owned; strings of up to 15 bytes are kept
// inline. Accessing a variant as the wrong type is a programming error: it is logged at
// assert level, and if the log sink returns, the accessor returns an empty value. Not
// thread-safe.
class Variant {
 public:
  // The type tags. SmallString is an inline form of a mutable string.
  enum InternalType : int32_t {
    kInternalTypeNull = 0,
    kInternalTypeInt64 = 1,
    kInternalTypeDouble = 2,
    kInternalTypeBool = 3,
    kInternalTypeStaticString = 4,
    kInternalTypeMutableString = 5,
    kInternalTypeVector = 6,
    kInternalTypeMap = 7,
    kInternalTypeStaticBlob = 8,
    kInternalTypeMutableBlob = 9,
    kInternalTypeSmallString = 10,
  };

  // The names of the tags, in tag order, followed by a null end marker.
  static const char* const kTypeNames[];
  static constexpr int num_variant_types = 11;
  // The name of a tag ("Null", "Int64", ...); an invalid tag is an assertion.
  static const char* TypeName(InternalType type);

  // The longest text kept inline.
  static constexpr size_t kMaxSmallStringSize = 15;

  Variant() : type_(kInternalTypeNull) { value_.int64_value = 0; }
  Variant(int64_t value) : type_(kInternalTypeInt64) { value_.int64_value = value; }
  // Any other integer type (but not bool) is an Int64.
  template <typename T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                             !std::is_same_v<T, int64_t>,
                                         int> = 0>
  Variant(T value) : Variant(static_cast<int64_t>(value)) {}
  Variant(double value) : type_(kInternalTypeDouble) { value_.double_value = value; }
  Variant(float value) : Variant(static_cast<double>(value)) {}
  Variant(bool value) : type_(kInternalTypeBool) { value_.bool_value = value; }
  // Borrows the text: it must outlive the variant.
  Variant(const char* static_string);
  // Copies the text (inline when it has at most 15 bytes).
  Variant(const std::string& text);
  Variant(std::string&& text);
  // Deep copies.
  Variant(const std::vector<Variant>& vector);
  Variant(const std::map<Variant, Variant>& map);

  Variant(const Variant& other);
  Variant(Variant&& other) noexcept;
  Variant& operator=(const Variant& other);
  Variant& operator=(Variant&& other) noexcept;
  ~Variant() { Release(); }

  // Named constructors for the forms that the constructors above cannot tell apart.
  static Variant Null() { return Variant(); }
  static Variant EmptyVector();
  static Variant EmptyMap();
  static Variant EmptyString();  // a mutable (small) empty string
  static Variant FromStaticBlob(const void* data, size_t size);
  static Variant FromMutableBlob(const void* data, size_t size);

  InternalType type() const { return type_; }

  // Type tests.
  bool is_null() const { return type_ == kInternalTypeNull; }
  bool is_int64() const { return type_ == kInternalTypeInt64; }
  bool is_double() const { return type_ == kInternalTypeDouble; }
  bool is_bool() const { return type_ == kInternalTypeBool; }
  bool is_static_string() const { return type_ == kInternalTypeStaticString; }
  bool is_mutable_string() const { return type_ == kInternalTypeMutableString; }
  bool is_small_string() const { return type_ == kInternalTypeSmallString; }
  bool is_vector() const { return type_ == kInternalTypeVector; }
  bool is_map() const { return type_ == kInternalTypeMap; }
  bool is_static_blob() const { return type_ == kInternalTypeStaticBlob; }
  bool is_mutable_blob() const { return type_ == kInternalTypeMutableBlob; }
  // Any of the three string forms.
  bool is_string() const {
    return type_ == kInternalTypeStaticString || type_ == kInternalTypeMutableString ||
           type_ == kInternalTypeSmallString;
  }
  bool is_blob() const {
    return type_ == kInternalTypeStaticBlob || type_ == kInternalTypeMutableBlob;
  }
  bool is_numeric() const { return is_int64() || is_double(); }
  // Null, numbers, Bool and strings; not vectors, maps or blobs.
  bool is_fundamental_type() const {
    return type_ <= kInternalTypeMutableString || is_small_string();
  }
  bool is_container_type() const { return is_vector() || is_map(); }

  // Checked accessors.
  int64_t int64_value() const;
  double double_value() const;
  bool bool_value() const;
  // The text of any string form, NUL-terminated.
  const char* string_value() const;
  // A copy of the text of any string form.
  std::string mutable_string() const;
  // The containers, which the caller may change in place.
  std::vector<Variant>& vector();
  const std::vector<Variant>& vector() const;
  std::map<Variant, Variant>& map();
  const std::map<Variant, Variant>& map() const;
  const uint8_t* blob_data() const;
  size_t blob_size() const;

  // Setters. Each releases what the variant owned before, except a container of the
  // same form, which is reused.
  void set_int64_value(int64_t value);
  void set_double_value(double value);
  void set_bool_value(bool value);
  // Borrows the text.
  void set_string_value(const char* static_string);
  // Copies the text; inline when it fits and `allow_small` is set.
  void set_mutable_string(const std::string& text, bool allow_small = true);
  void set_vector(const std::vector<Variant>& vector);
  void set_map(const std::map<Variant, Variant>& map);
  // Borrows the bytes.
  void set_static_blob(const void* data, size_t size);
  // Copies the bytes.
  void set_mutable_blob(const void* data, size_t size);

  // Gives the variant the empty value of `type` (zero, false, "", an empty container or
  // blob), keeping an existing container, heap string or inline text of the same form.
  void Clear(InternalType type = kInternalTypeNull);

  // Conversions to new variants.
  // Numbers as text ("%.16f" for doubles, cut to 63 characters); Bool as "true"/"false";
  // strings copied; anything else the empty string.
  Variant AsString() const;
  // Doubles truncated toward zero (saturating; NaN gives 0); strings parsed as decimal
  // integers within the 32-bit range; Bool 1 or 0; anything else 0.
  Variant AsInt64() const;
  Variant AsDouble() const;
  // False for Null, 0, 0.0, false, "", "false", empty containers and empty blobs.
  Variant AsBool() const;

  // Equality: any two string forms compare by text, the two blob forms with each other;
  // otherwise the tags must match. An Int64 never equals a Double.
  bool operator==(const Variant& other) const;
  // The order of map keys: Null < Int64 < Double < Bool < strings < Vector < Map < blobs,
  // then by value within a form.
  bool operator<(const Variant& other) const;
  bool operator>(const Variant& other) const { return other < *this; }
  bool operator<=(const Variant& other) const { return !(other < *this); }
  bool operator>=(const Variant& other) const { return !(*this < other); }

 private:
  struct Blob {
    const uint8_t* data;
    size_t size;
  };
  union Value {
    int64_t int64_value;
    double double_value;
    bool bool_value;
    const char* static_string_value;
    std::string* mutable_string_value;
    std::vector<Variant>* vector_value;
    std::map<Variant, Variant>* map_value;
    Blob blob_value;  // borrowed or owned (new[]) by the tag
    // Inline text with its terminating NUL. The last byte holds 15 minus the length, which
    // is the terminator itself when the text has 15 bytes.
    char small_string[kMaxSmallStringSize + 1];
  };

  // Frees what the variant owns and leaves it Null.
  void Release();
  void SetSmallString(const char* text, size_t size);
  size_t small_string_size() const;
  // Reports a wrong-type access; returns false when the type is wrong.
  bool CheckType(InternalType type) const;
  bool CheckString() const;
  bool CheckBlob() const;

  InternalType type_;
  Value value_;
};

}  // namespace nimbus

#endif  // TERVALA_APP_VARIANT_VARIANT_H_
