#include "embedding_client/encodable_value.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vela {
namespace {

// Numeric order with every NaN last and all NaNs equivalent: a strict weak ordering.
template <typename F>
int CompareFloating(F a, F b) {
  const bool a_nan = std::isnan(a);
  const bool b_nan = std::isnan(b);
  if (a_nan || b_nan) return static_cast<int>(a_nan) - static_cast<int>(b_nan);
  return a < b ? -1 : (b < a ? 1 : 0);
}

template <typename T>
int CompareScalar(const T& a, const T& b) {
  if constexpr (std::is_floating_point_v<T>) {
    return CompareFloating(a, b);
  } else {
    return a < b ? -1 : (b < a ? 1 : 0);
  }
}

int CompareBytes(const void* a, size_t a_size, const void* b, size_t b_size) {
  const size_t common = std::min(a_size, b_size);
  if (common != 0) {
    if (int result = std::memcmp(a, b, common); result != 0) return result < 0 ? -1 : 1;
  }
  return a_size < b_size ? -1 : (b_size < a_size ? 1 : 0);
}

// Lexicographic order over two sequences with an element comparison; a proper prefix
// comes first.
template <typename Sequence, typename ElementCompare>
int CompareSequences(const Sequence& a, const Sequence& b, ElementCompare compare) {
  auto a_it = a.begin();
  auto b_it = b.begin();
  for (; a_it != a.end() && b_it != b.end(); ++a_it, ++b_it) {
    if (int result = compare(*a_it, *b_it); result != 0) return result;
  }
  if (a_it == a.end()) return b_it == b.end() ? 0 : -1;
  return 1;
}

struct ContentCompare {
  int operator()(std::monostate, std::monostate) const { return 0; }
  int operator()(const std::string& a, const std::string& b) const {
    return CompareBytes(a.data(), a.size(), b.data(), b.size());
  }
  int operator()(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) const {
    return CompareBytes(a.data(), a.size(), b.data(), b.size());
  }
  int operator()(const EncodableList& a, const EncodableList& b) const {
    return CompareSequences(a, b, &EncodableValue::Compare);
  }
  int operator()(const EncodableMap& a, const EncodableMap& b) const {
    return CompareSequences(a, b, [](const auto& x, const auto& y) {
      int result = EncodableValue::Compare(x.first, y.first);
      return result != 0 ? result : EncodableValue::Compare(x.second, y.second);
    });
  }
  int operator()(const CustomEncodableValue& a, const CustomEncodableValue& b) const {
    return a < b ? -1 : (b < a ? 1 : 0);
  }
  template <typename T>
  int operator()(const std::vector<T>& a, const std::vector<T>& b) const {
    return CompareSequences(a, b, CompareScalar<T>);
  }
  template <typename T>
  int operator()(const T& a, const T& b) const {
    return CompareScalar(a, b);
  }
};

struct ContentEqual {
  template <typename T>
  bool operator()(const T& a, const T& b) const {
    return a == b;
  }
  bool operator()(const CustomEncodableValue& a, const CustomEncodableValue& b) const {
    return &a == &b;
  }
};

}  // namespace

int64_t EncodableValue::LongValue() const {
  if (const auto* value = GetIf<int32_t>()) return *value;
  return Get<int64_t>();
}

int EncodableValue::Compare(const EncodableValue& a, const EncodableValue& b) {
  if (a.index() != b.index()) return a.index() < b.index() ? -1 : 1;
  return std::visit(
      [&b](const auto& a_value) -> int {
        using T = std::decay_t<decltype(a_value)>;
        return ContentCompare()(a_value, *std::get_if<T>(&b.variant_));
      },
      a.variant_);
}

bool operator==(const EncodableValue& a, const EncodableValue& b) {
  if (a.index() != b.index()) return false;
  return std::visit(
      [&b](const auto& a_value) -> bool {
        using T = std::decay_t<decltype(a_value)>;
        return ContentEqual()(a_value, *std::get_if<T>(&b.variant_));
      },
      a.variant_);
}

}  // namespace vela
