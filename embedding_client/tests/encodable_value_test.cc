#include "embedding_client/encodable_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace vela {
namespace {

TEST(EncodableValueTest, ConstructsTheExpectedAlternatives) {
  EXPECT_TRUE(EncodableValue().IsNull());
  EXPECT_TRUE(EncodableValue(true).Holds<bool>());
  EXPECT_TRUE(EncodableValue(7).Holds<int32_t>());
  EXPECT_TRUE(EncodableValue(int64_t{7}).Holds<int64_t>());
  EXPECT_TRUE(EncodableValue(1.5).Holds<double>());
  // A C string is text, not a boolean.
  EXPECT_TRUE(EncodableValue("text").Holds<std::string>());
  EXPECT_TRUE(EncodableValue(std::vector<float>{1.0f}).Holds<std::vector<float>>());
  EXPECT_EQ(EncodableValue(std::vector<float>{}).index(), 13u);
  EXPECT_EQ(EncodableValue(CustomEncodableValue(5)).index(), 12u);
}

TEST(EncodableValueTest, AccessorsThrowExceptionsWithFixedTexts) {
  const EncodableValue text("a");
  EXPECT_EQ(text.Get<std::string>(), "a");
  EXPECT_EQ(text.GetIf<int32_t>(), nullptr);
  try {
    (void)text.Get<int32_t>();
    FAIL() << "expected an exception";
  } catch (const std::bad_variant_access& error) {
    EXPECT_STREQ(error.what(), "bad variant access");
  }

  const CustomEncodableValue custom(std::string("held"));
  EXPECT_TRUE(custom.Holds<std::string>());
  EXPECT_EQ(custom.type(), typeid(std::string));
  EXPECT_EQ(custom.Get<std::string>(), "held");
  try {
    (void)custom.Get<int>();
    FAIL() << "expected an exception";
  } catch (const std::bad_any_cast& error) {
    EXPECT_STREQ(error.what(), "Bad any_cast");
  }

  EXPECT_EQ(EncodableValue(3).LongValue(), 3);
  EXPECT_EQ(EncodableValue(int64_t{1} << 40).LongValue(), int64_t{1} << 40);
  EXPECT_THROW((void)EncodableValue(1.0).LongValue(), BadVariantAccess);
}

TEST(EncodableValueTest, CopiesAreDeep) {
  EncodableList inner{EncodableValue("x"), EncodableValue(CustomEncodableValue(std::string("c")))};
  EncodableValue original(EncodableList{EncodableValue(inner)});
  EncodableValue copy = original;
  copy.Get<EncodableList>()[0].Get<EncodableList>()[0] = EncodableValue("changed");
  copy.Get<EncodableList>()[0]
      .Get<EncodableList>()[1]
      .Get<CustomEncodableValue>()
      .Get<std::string>() = "changed";
  const auto& original_inner = original.Get<EncodableList>()[0].Get<EncodableList>();
  EXPECT_EQ(original_inner[0].Get<std::string>(), "x");
  EXPECT_EQ(original_inner[1].Get<CustomEncodableValue>().Get<std::string>(), "c");
}

TEST(EncodableValueTest, OrdersByAlternativeThenContent) {
  // One value per alternative, in index order.
  std::vector<EncodableValue> by_index = {
      EncodableValue(),
      EncodableValue(true),
      EncodableValue(int32_t{-100}),
      EncodableValue(int64_t{-100}),
      EncodableValue(-1e300),
      EncodableValue(""),
      EncodableValue(std::vector<uint8_t>{}),
      EncodableValue(std::vector<int32_t>{}),
      EncodableValue(std::vector<int64_t>{}),
      EncodableValue(std::vector<double>{}),
      EncodableValue(EncodableList{}),
      EncodableValue(EncodableMap{}),
      EncodableValue(CustomEncodableValue(1)),
      EncodableValue(std::vector<float>{}),
  };
  for (size_t i = 0; i + 1 < by_index.size(); ++i) {
    EXPECT_TRUE(by_index[i] < by_index[i + 1]) << i;
    EXPECT_FALSE(by_index[i + 1] < by_index[i]) << i;
  }

  EXPECT_TRUE(EncodableValue(false) < EncodableValue(true));
  EXPECT_TRUE(EncodableValue(-2) < EncodableValue(1));
  // Text and bytes compare by unsigned byte, a proper prefix first.
  EXPECT_TRUE(EncodableValue("ab") < EncodableValue("abc"));
  EXPECT_TRUE(EncodableValue("z") < EncodableValue("\xc3\xa9"));
  EXPECT_TRUE(EncodableValue(std::vector<uint8_t>{1, 2}) <
              EncodableValue(std::vector<uint8_t>{1, 200}));
  EXPECT_TRUE(EncodableValue(std::vector<int32_t>{-1}) <
              EncodableValue(std::vector<int32_t>{-1, 0}));
  EXPECT_TRUE(EncodableValue(std::vector<int64_t>{-5, 9}) <
              EncodableValue(std::vector<int64_t>{1}));
  EXPECT_TRUE(EncodableValue(EncodableList{EncodableValue(1), EncodableValue("a")}) <
              EncodableValue(EncodableList{EncodableValue(1), EncodableValue("b")}));
  EncodableMap small{{EncodableValue(1), EncodableValue("a")}};
  EncodableMap larger{{EncodableValue(1), EncodableValue("b")}};
  EXPECT_TRUE(EncodableValue(small) < EncodableValue(larger));
  EXPECT_FALSE(EncodableValue(larger) < EncodableValue(small));
}

TEST(EncodableValueTest, NanKeysDoNotSwallowOtherKeys) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EncodableMap map;
  map.emplace(EncodableValue(nan), EncodableValue("nan"));
  map.emplace(EncodableValue(1.0), EncodableValue("one"));
  map.emplace(EncodableValue(-nan), EncodableValue("other nan"));
  ASSERT_EQ(map.size(), 2u);
  EXPECT_EQ(map.begin()->first.Get<double>(), 1.0);
  EXPECT_TRUE(std::isnan(map.rbegin()->first.Get<double>()));
  EXPECT_EQ(map.rbegin()->second.Get<std::string>(), "nan");
  // Negative and positive zero are one key, as they are equal numbers.
  EXPECT_FALSE(EncodableValue(-0.0) < EncodableValue(0.0));
  EXPECT_FALSE(EncodableValue(0.0) < EncodableValue(-0.0));
}

TEST(EncodableValueTest, CustomValuesCompareByIdentity) {
  const CustomEncodableValue a(1);
  const CustomEncodableValue b(1);
  EXPECT_TRUE(a == a);
  EXPECT_FALSE(a == b);
  EXPECT_NE(a < b, b < a);
  EXPECT_EQ(EncodableValue(EncodableList{EncodableValue(1.5), EncodableValue("x")}),
            EncodableValue(EncodableList{EncodableValue(1.5), EncodableValue("x")}));
  EXPECT_FALSE(EncodableValue(1) == EncodableValue(int64_t{1}));
}

}  // namespace
}  // namespace vela
