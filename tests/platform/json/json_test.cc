#include "platform/json/json.h"

#include <gtest/gtest.h>

namespace tavlune::platform::json {
namespace {

TEST(JsonParse, RefusesWhatIsNotOneStrictValue) {
  const std::string cases[] = {
      "",
      "{",
      "{} x",
      "{}{}",
      "{\"a\":1,}",
      "// note\n{}",
      "{/* note */}",
      "[1] // trailing",
      "{'a':1}",
      "{\"a\":\"\xff\"}",
      std::string("{}\0", 3),
      std::string("{\"a\":\"x\0y\"}", 11),
      "{\"a\":\"x\\u0000y\"}",
      "{\"a\\u0000\":1}",
      "NaN",
  };
  for (const auto& text : cases) EXPECT_FALSE(parse(text).has_value()) << text;
}

TEST(JsonParse, AcceptsWhiteSpaceAroundOneValue) {
  auto value = parse(" \n{\"a\":[1,2.5,\"x\\/y\"]}\n");
  ASSERT_TRUE(value.has_value()) << value.error().description;
  EXPECT_EQ((*value)["a"][2], "x/y");
}

TEST(JsonParse, CapsNestingButCountsOnlyBracketsOutsideStrings) {
  std::string deep(kMaxDepth + 1, '[');
  deep += std::string(kMaxDepth + 1, ']');
  EXPECT_FALSE(parse(deep).has_value());
  std::string atLimit(kMaxDepth, '[');
  atLimit += std::string(kMaxDepth, ']');
  EXPECT_TRUE(parse(atLimit).has_value());
  EXPECT_TRUE(parse("{\"a\":\"" + std::string(1000, '[') + "\\\"[\"}").has_value());
}

TEST(JsonParse, RefusesOversizedInput) {
  std::string big = "\"" + std::string(kMaxInputBytes, 'a') + "\"";
  EXPECT_FALSE(parse(big).has_value());
}

TEST(JsonParse, ErrorDescriptionIsReadable) {
  auto value = parse("{x}");
  ASSERT_FALSE(value.has_value());
  EXPECT_EQ(value.error().description.rfind("The data is not valid JSON: ", 0), 0u);
  EXPECT_EQ(value.error().description.find("[json.exception"), std::string::npos);
}

TEST(JsonNumbers, WholeNumberTellsIntegersFromFractions) {
  struct Case {
    const char* text;
    std::optional<int64_t> whole;
    bool integer;
  };
  const Case cases[] = {
      {"443", 443, true},
      {"-1", -1, true},
      {"443.0", 443, false},
      {"1e3", 1000, false},
      {"443.5", std::nullopt, false},
      {"9223372036854775807", INT64_MAX, true},
      {"9223372036854775808", std::nullopt, true},
      {"-9223372036854775808", INT64_MIN, true},
      {"9.3e18", std::nullopt, false},
      {"\"443\"", std::nullopt, false},
      {"true", std::nullopt, false},
  };
  for (const auto& c : cases) {
    auto value = parse(c.text);
    ASSERT_TRUE(value.has_value()) << c.text;
    EXPECT_EQ(wholeNumber(*value), c.whole) << c.text;
    EXPECT_EQ(isInteger(*value), c.integer) << c.text;
  }
}

TEST(JsonSerialize, CompactAndEscapingSlashesOnlyWhereAsked) {
  Json value = {{"command", "/usr/sbin/networksetup -x 'a/b'"}};
  EXPECT_EQ(*serialize(value), R"({"command":"/usr/sbin/networksetup -x 'a/b'"})");
  EXPECT_EQ(*serializeEscapingSlashes(value), R"({"command":"\/usr\/sbin\/networksetup -x 'a\/b'"})");
  EXPECT_EQ((*parse(*serializeEscapingSlashes(value)))["command"], value["command"]);
}

TEST(JsonSerialize, RefusesInvalidUtf8) {
  EXPECT_FALSE(serialize(Json("\xc3")).has_value());
  EXPECT_FALSE(serializeEscapingSlashes(Json::array({"\xff"})).has_value());
}

}  // namespace
}  // namespace tavlune::platform::json
