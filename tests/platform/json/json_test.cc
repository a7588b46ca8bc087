#include "platform/json/json.h"

#include <gtest/gtest.h>

namespace tavlune::platform::json {
namespace {

TEST(JsonParse, OneStrictValueWithinTheLimits) {
  const std::string nested(kMaxDepth, '['), closed(kMaxDepth, ']');
  for (const std::string& text : std::initializer_list<std::string>{"", "{", "{} x", "{}{}", "{\"a\":1,}", "// note\n{}", "{/* note */}", "{'a':1}", "NaN",
                                  "{\"a\":\"\xff\"}", "{\"a\":\"x\\u0000y\"}", "{\"a\\u0000\":1}", "[" + nested + closed + "]",
                                  std::string("{}\0", 3), std::string("{\"a\":\"x\0y\"}", 11), "\"" + std::string(kMaxInputBytes, 'a') + "\""}) {
    EXPECT_FALSE(parse(text).has_value()) << text.substr(0, 40);
  }
  EXPECT_TRUE(parse(nested + closed).has_value());
  EXPECT_TRUE(parse("{\"a\":\"" + std::string(1000, '[') + "\\\"[\"}").has_value());  // brackets in strings do not nest
  auto value = parse(" \n{\"a\":[1,2.5,\"x\\/y\"]}\n");
  ASSERT_TRUE(value.has_value()) << value.error().description;
  EXPECT_EQ((*value)["a"][2], "x/y");
}

TEST(JsonNumbers, WholeNumberTellsIntegersFromFractions) {
  const std::tuple<const char*, std::optional<int64_t>, bool> cases[] = {
      {"443", 443, true},
      {"443.0", 443, false},
      {"443.5", std::nullopt, false},
      {"9223372036854775807", INT64_MAX, true},
      {"9223372036854775808", std::nullopt, true},
      {"-9223372036854775808", INT64_MIN, true},
      {"\"443\"", std::nullopt, false},
  };
  for (const auto& [text, whole, integer] : cases) {
    EXPECT_EQ(wholeNumber(*parse(text)), whole) << text;
    EXPECT_EQ(isInteger(*parse(text)), integer) << text;
  }
}

TEST(JsonSerialize, CompactEscapingSlashesOnlyWhereAskedAndRefusingInvalidUtf8) {
  Json value = {{"command", "/usr/sbin/networksetup -x 'a/b'"}};
  EXPECT_EQ(*serialize(value), R"({"command":"/usr/sbin/networksetup -x 'a/b'"})");
  EXPECT_EQ(*serializeEscapingSlashes(value), R"({"command":"\/usr\/sbin\/networksetup -x 'a\/b'"})");
  EXPECT_FALSE(serialize(Json("\xc3")).has_value());
  EXPECT_FALSE(serializeEscapingSlashes(Json::array({"\xff"})).has_value());
}

}  // namespace
}  // namespace tavlune::platform::json
