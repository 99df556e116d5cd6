#include "app/variant/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "app/log.h"
#include "app/tests/captured_log.h"

namespace nimbus {
namespace {

using Map = std::map<Variant, Variant>;
using Vector = std::vector<Variant>;

TEST(VariantTest, StringFormsByLengthAndTheirEquality) {
  const std::string fifteen(15, 'x');
  const std::string sixteen(16, 'x');
  const Variant small(fifteen);
  const Variant heap(sixteen);
  EXPECT_EQ(small.type(), Variant::kInternalTypeSmallString);
  EXPECT_EQ(heap.type(), Variant::kInternalTypeMutableString);
  EXPECT_TRUE(small.is_string());
  EXPECT_TRUE(heap.is_string());
  EXPECT_EQ(small, Variant(fifteen.c_str()));
  EXPECT_EQ(heap, Variant(sixteen.c_str()));
  EXPECT_EQ(Variant(fifteen.c_str()).type(), Variant::kInternalTypeStaticString);
  EXPECT_STREQ(small.string_value(), fifteen.c_str());
  EXPECT_EQ(small.mutable_string(), fifteen);
  EXPECT_EQ(heap.mutable_string(), sixteen);
  EXPECT_EQ(Variant(std::string(sixteen)).type(), Variant::kInternalTypeMutableString);
  EXPECT_EQ(Variant(std::string("")).type(), Variant::kInternalTypeSmallString);

  // A short heap string copies into the inline form; a long one stays on the heap.
  Variant short_heap;
  short_heap.set_mutable_string("abc", false);
  EXPECT_EQ(short_heap.type(), Variant::kInternalTypeMutableString);
  const Variant copy(short_heap);
  EXPECT_EQ(copy.type(), Variant::kInternalTypeSmallString);
  EXPECT_EQ(copy, short_heap);
  Variant assigned;
  assigned = heap;
  EXPECT_EQ(assigned.type(), Variant::kInternalTypeMutableString);
  EXPECT_EQ(assigned, heap);
  EXPECT_NE(assigned.string_value(), heap.string_value());  // its own copy

  // Inline text keeps embedded NULs in its length but compares by C text.
  const Variant with_nul(std::string("a\0b", 3));
  EXPECT_EQ(with_nul.mutable_string(), std::string("a\0b", 3));
  EXPECT_EQ(with_nul, Variant("a"));
}

TEST(VariantTest, CopiesAreDeepAndMovesLeaveNull) {
  Variant map = Variant::EmptyMap();
  map.map()[Variant("list")] = Vector{Variant(1), Variant(std::string(40, 'y'))};
  const uint8_t bytes[] = {1, 2, 3};
  map.map()[Variant("blob")] = Variant::FromMutableBlob(bytes, 3);

  Variant copy = map;
  EXPECT_EQ(copy, map);
  copy.map()[Variant("list")].vector().push_back(Variant(true));
  EXPECT_NE(copy, map);
  EXPECT_NE(copy.map()[Variant("blob")].blob_data(), map.map()[Variant("blob")].blob_data());

  Variant moved = std::move(copy);
  EXPECT_TRUE(copy.is_null());  // NOLINT(bugprone-use-after-move): moves leave Null
  EXPECT_EQ(moved.map().size(), 2u);

  // Assigning a variant from a value that lives inside it.
  Variant nested = Vector{Vector{Variant(1), Variant(2)}, Variant(3)};
  nested = nested.vector()[0];
  EXPECT_EQ(nested, Variant(Vector{Variant(1), Variant(2)}));
  nested = std::move(nested.vector()[1]);
  EXPECT_EQ(nested, Variant(2));
  Variant keyed = Map{{Variant("k"), Variant(std::string(30, 'z'))}};
  keyed = keyed.map().begin()->second;
  EXPECT_EQ(keyed.mutable_string(), std::string(30, 'z'));
  Variant self(std::string(20, 's'));
  self = self;
  EXPECT_EQ(self.mutable_string(), std::string(20, 's'));
}

TEST(VariantTest, ClearKeepsContainersOfTheSameForm) {
  Variant v = Vector{Variant(1), Variant(2)};
  const auto* storage = &v.vector();
  v.Clear(Variant::kInternalTypeVector);
  EXPECT_EQ(&v.vector(), storage);
  EXPECT_TRUE(v.vector().empty());
  v.Clear(Variant::kInternalTypeStaticString);
  EXPECT_STREQ(v.string_value(), "");
  v.Clear(Variant::kInternalTypeMutableBlob);
  EXPECT_EQ(v.blob_size(), 0u);
  v.Clear(Variant::kInternalTypeBool);
  EXPECT_FALSE(v.bool_value());
  v.Clear();
  EXPECT_TRUE(v.is_null());
}

TEST(VariantTest, OrderAcrossAndWithinTypes) {
  Map map;
  map[Variant(int64_t{2})] = Variant();
  map[Variant(1.5)] = Variant();
  map[Variant(true)] = Variant();
  map[Variant("a")] = Variant();
  map[Variant()] = Variant();
  std::vector<Variant> keys;
  for (const auto& entry : map) keys.push_back(entry.first);
  EXPECT_EQ(keys, (Vector{Variant(), Variant(2), Variant(1.5), Variant(true), Variant("a")}));

  EXPECT_LT(Variant(1000000), Variant(-1.0));  // every Int64 before every Double
  EXPECT_NE(Variant(1), Variant(1.0));
  EXPECT_LT(Variant(false), Variant(true));
  EXPECT_LT(Variant("abc"), Variant(std::string("abd")));
  const Variant v12 = Vector{Variant(1), Variant(2)};
  EXPECT_LT(v12, Variant(Vector{Variant(1), Variant(2), Variant(0)}));
  EXPECT_LT(v12, Variant(Vector{Variant(1), Variant(3)}));
  EXPECT_FALSE(v12 < v12);
  EXPECT_LT(Variant(Map{{Variant("a"), Variant(1)}}), Variant(Map{{Variant("a"), Variant(2)}}));
  EXPECT_LT(Variant(Map{{Variant("a"), Variant(9)}}), Variant(Map{{Variant("b"), Variant(0)}}));
  EXPECT_LT(v12, Variant::EmptyMap());
  const uint8_t ab[] = {'a', 'b'};
  const uint8_t b[] = {'b'};
  EXPECT_LT(Variant::FromStaticBlob(b, 1), Variant::FromMutableBlob(ab, 2));  // size first
  EXPECT_EQ(Variant::FromStaticBlob(ab, 2), Variant::FromMutableBlob(ab, 2));
  EXPECT_LT(Variant::EmptyMap(), Variant::FromStaticBlob(b, 1));

  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_NE(Variant(nan), Variant(nan));
  EXPECT_EQ(Variant(0.0), Variant(-0.0));
}

TEST(VariantTest, AsStringAsInt64AsDoubleAsBool) {
  EXPECT_EQ(Variant(-5).AsString(), Variant("-5"));
  EXPECT_EQ(Variant(0.1).AsString(), Variant("0.1000000000000000"));
  EXPECT_EQ(Variant(1.5).AsString(), Variant("1.5000000000000000"));
  EXPECT_EQ(Variant(1e300).AsString().mutable_string().size(), 63u);
  EXPECT_EQ(Variant(true).AsString(), Variant("true"));
  EXPECT_EQ(Variant(Map{{Variant(1), Variant(2)}}).AsString(), Variant(""));
  EXPECT_EQ(Variant().AsString(), Variant(""));

  EXPECT_EQ(Variant("9999999999").AsInt64(), Variant(2147483647));
  EXPECT_EQ(Variant("-9999999999").AsInt64(), Variant(-2147483647 - 1));
  EXPECT_EQ(Variant("42abc").AsInt64(), Variant(42));
  EXPECT_EQ(Variant("abc").AsInt64(), Variant(0));
  EXPECT_EQ(Variant(-2.7).AsInt64(), Variant(-2));
  EXPECT_EQ(Variant(1e300).AsInt64(), Variant(std::numeric_limits<int64_t>::max()));
  EXPECT_EQ(Variant(-1e300).AsInt64(), Variant(std::numeric_limits<int64_t>::min()));
  EXPECT_EQ(Variant(std::numeric_limits<double>::quiet_NaN()).AsInt64(), Variant(0));
  EXPECT_EQ(Variant(true).AsInt64(), Variant(1));

  EXPECT_EQ(Variant("2.5").AsDouble(), Variant(2.5));
  EXPECT_EQ(Variant("x").AsDouble(), Variant(0.0));
  EXPECT_EQ(Variant(int64_t{3}).AsDouble(), Variant(3.0));

  for (const Variant& falsy :
       {Variant(), Variant(0), Variant(0.0), Variant(false), Variant(""), Variant("false"),
        Variant::EmptyVector(), Variant::EmptyMap(), Variant::FromStaticBlob(nullptr, 0)}) {
    EXPECT_EQ(falsy.AsBool(), Variant(false)) << Variant::TypeName(falsy.type());
  }
  for (const Variant& truthy : {Variant("0"), Variant("False"), Variant("no"), Variant("true"),
                                Variant(-1), Variant(0.5), Variant(Vector{Variant()})}) {
    EXPECT_EQ(truthy.AsBool(), Variant(true)) << truthy.mutable_string();
  }
}

TEST(VariantTest, WrongTypeAccessIsReportedAndHarmless) {
  CapturedLog capture;
  const Variant number(7);
  EXPECT_STREQ(number.string_value(), "");
  ASSERT_EQ(capture.Messages().size(), 2u);
  EXPECT_EQ(capture.Messages()[0], std::make_pair(kLogLevelError, std::string("is_string()")));
  EXPECT_EQ(
      capture.Messages()[1],
      std::make_pair(kLogLevelAssert,
                     std::string("Expected Variant to be a String, but it was of type Int64.")));

  capture.Clear();
  Variant null;
  null.vector().push_back(Variant(1));  // works on a scratch vector, not on `null`
  EXPECT_TRUE(null.is_null());
  EXPECT_TRUE(null.map().empty());
  EXPECT_EQ(null.int64_value(), 0);
  EXPECT_EQ(null.blob_data(), nullptr);
  ASSERT_GE(capture.Messages().size(), 2u);
  EXPECT_EQ(capture.Messages()[0].second, "this->type_ == static_cast<InternalType>(type)");
  EXPECT_EQ(capture.Messages()[1].second,
            "Expected Variant to be of type Vector, but it was of type Null.");
  EXPECT_EQ(capture.Messages().back().second,
            "Expected Variant to be a Blob, but it was of type Null.");

  capture.Clear();
  EXPECT_STREQ(Variant::TypeName(static_cast<Variant::InternalType>(11)), "Unknown");
  EXPECT_EQ(capture.Messages().size(), 1u);
  EXPECT_STREQ(Variant::TypeName(Variant::kInternalTypeSmallString), "SmallString");
}

}  // namespace
}  // namespace nimbus
