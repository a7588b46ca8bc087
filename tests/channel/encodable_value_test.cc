#include "channel/encodable_value.h"

#include <gtest/gtest.h>

#include "channel/standard_codec.h"

namespace tavlune::channel {
namespace {

using V = EncodableValue;

V List(std::initializer_list<V> items) { return V(EncodableList(items)); }
V OneEntry(V key, V value) { return V(EncodableMap{{std::move(key), std::move(value)}}); }

TEST(EncodableValueLessTest, OrdersByAlternativeThenContent) {
  const struct {
    const char* name;
    V smaller, larger;
  } cases[] = {
      {"null_before_bool", V(), V(false)},
      {"int32_before_int64", V(100), V(int64_t{1})},
      {"string_content", V("a"), V("b")},
      {"scalar_vector", V(std::vector<double>{1.0}), V(std::vector<double>{1.0, 0.0})},
      {"list_prefix", List({V(1)}), List({V(1), V()})},
      {"list_element", List({V(1), V(5)}), List({V(2)})},
      {"map_key_first", OneEntry(V(1), V(9)), OneEntry(V(2), V(0))},
      {"map_then_value", OneEntry(V(1), V(0)), OneEntry(V(1), V(9))},
  };
  const EncodableValueLess less;
  for (const auto& c : cases) {
    EXPECT_TRUE(less(c.smaller, c.larger)) << c.name;
    EXPECT_FALSE(less(c.larger, c.smaller)) << c.name;
    EXPECT_FALSE(less(c.smaller, c.smaller)) << c.name;
  }
}

V NestedKey(int leaf) {
  V key(leaf);
  for (int i = 0; i < kMaxNestingDepth - 2; ++i) key = OneEntry(std::move(key), V());
  return key;
}

// Comparing deep keys that are alike must walk each level once; asking both
// directions at every level never finishes on input like this.
TEST(EncodableValueLessTest, DeeplyNestedKeysCompareOnce) {
  EXPECT_FALSE(EncodableValueLess()(NestedKey(1), NestedKey(1)));
  EXPECT_TRUE(EncodableValueLess()(NestedKey(1), NestedKey(2)));
  const V distinct(EncodableMap{{NestedKey(1), V(1)}, {NestedKey(2), V(2)}});
  auto decoded = DecodeMessage(EncodeMessage(distinct));
  ASSERT_TRUE(decoded) << decoded.error().description;
  EXPECT_TRUE(*decoded == distinct);
}

}  // namespace
}  // namespace tavlune::channel
