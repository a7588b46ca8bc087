#include "platform/channel/encodable_value.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/channel/standard_codec.h"

namespace tavlune::channel {
namespace {

EncodableValue List(std::initializer_list<EncodableValue> items) { return EncodableValue(EncodableList(items)); }
EncodableValue OneEntry(EncodableValue key, EncodableValue value) {
  EncodableMap map;
  map.emplace(std::move(key), std::move(value));
  return EncodableValue(std::move(map));
}

TEST(EncodableValueLessTest, OrdersByAlternativeThenContent) {
  struct Case {
    const char* name;
    EncodableValue smaller;
    EncodableValue larger;
  };
  const Case cases[] = {
      {"null_before_bool", EncodableValue(), EncodableValue(false)},
      {"int32_before_int64", EncodableValue(100), EncodableValue(int64_t{1})},
      {"string_content", EncodableValue("a"), EncodableValue("b")},
      {"scalar_vector", EncodableValue(std::vector<double>{1.0}), EncodableValue(std::vector<double>{1.0, 0.0})},
      {"list_prefix", List({EncodableValue(1)}), List({EncodableValue(1), EncodableValue()})},
      {"list_element", List({EncodableValue(1), EncodableValue(5)}), List({EncodableValue(2)})},
      {"map_key_first", OneEntry(EncodableValue(1), EncodableValue(9)), OneEntry(EncodableValue(2), EncodableValue(0))},
      {"map_then_value", OneEntry(EncodableValue(1), EncodableValue(0)), OneEntry(EncodableValue(1), EncodableValue(9))},
  };
  const EncodableValueLess less;
  for (const auto& c : cases) {
    EXPECT_TRUE(less(c.smaller, c.larger)) << c.name;
    EXPECT_FALSE(less(c.larger, c.smaller)) << c.name;
    EXPECT_FALSE(less(c.smaller, c.smaller)) << c.name;
  }
}

EncodableValue NestedKey(int leaf) {
  EncodableValue key(leaf);
  for (int i = 0; i < kMaxNestingDepth - 2; ++i) key = OneEntry(std::move(key), EncodableValue());
  return key;
}

// Comparing deep keys that are alike must walk each level once; asking both
// directions at every level never finishes on input like this.
TEST(EncodableValueLessTest, DeeplyNestedKeysCompareOnce) {
  EXPECT_FALSE(EncodableValueLess()(NestedKey(1), NestedKey(1)));
  EXPECT_TRUE(EncodableValueLess()(NestedKey(1), NestedKey(2)));

  EncodableMap distinct;
  distinct.emplace(NestedKey(1), EncodableValue(1));
  distinct.emplace(NestedKey(2), EncodableValue(2));
  std::vector<uint8_t> bytes = EncodeMessage(EncodableValue(distinct));
  auto decoded = DecodeMessage(bytes);
  ASSERT_TRUE(decoded) << decoded.error().description;
  EXPECT_TRUE(*decoded == EncodableValue(distinct));

  // Make the second key the same as the first: a duplicate, refused.
  const auto leaf = std::find(bytes.rbegin(), bytes.rend(), 2);  // value 2
  const auto key_leaf = std::find(leaf + 1, bytes.rend(), 2);    // the second key's leaf
  ASSERT_NE(key_leaf, bytes.rend());
  *key_leaf = 1;
  EXPECT_FALSE(DecodeMessage(bytes));
}

}  // namespace
}  // namespace tavlune::channel
