#include "model/coercion.h"
#include "manager/channel_coercion.h"

#include <gtest/gtest.h>

namespace tavlune {
namespace {
using namespace tavlune::model;
using namespace tavlune::manager;
using channel::EncodableValue;
using platform::json::Json;
namespace plist = platform::plist;

const std::optional<std::string> kNoText;
const std::optional<int64_t> kNoInteger;

TEST(Coercion, TextOfChannelValues) {
  const std::pair<EncodableValue, std::optional<std::string>> cases[] = {
      {EncodableValue(""), kNoText}, {EncodableValue("    "), kNoText}, {EncodableValue("\n"), kNoText},
      {EncodableValue("\u3000\t"), kNoText}, {EncodableValue("  a  b  "), "a  b"},
      {EncodableValue(int32_t{443}), "443"}, {EncodableValue(int64_t{-9000000000}), "-9000000000"},
      {EncodableValue(443.9), "443.9"}, {EncodableValue(5.0), "5"}, {EncodableValue(true), "1"},
      {EncodableValue(), "<null>"},
  };
  for (const auto& [value, expected] : cases) EXPECT_EQ(text(&value), expected);
  EXPECT_EQ(text(static_cast<const EncodableValue*>(nullptr)), kNoText);
}

TEST(Coercion, IntegerOfChannelValues) {
  const std::pair<EncodableValue, std::optional<int64_t>> cases[] = {
      {EncodableValue(int32_t{443}), 443}, {EncodableValue(443.9), 443}, {EncodableValue(-443.9), -443},
      {EncodableValue(true), 1}, {EncodableValue(false), 0}, {EncodableValue("443"), 443},
      {EncodableValue("+443"), 443}, {EncodableValue(" 443 "), 443}, {EncodableValue("-1"), -1},
      {EncodableValue("007"), 7}, {EncodableValue("9"), 9}, {EncodableValue("443abc"), kNoInteger},
      {EncodableValue("4 43"), kNoInteger}, {EncodableValue("+"), kNoInteger}, {EncodableValue("-"), kNoInteger},
      {EncodableValue("+-5"), kNoInteger}, {EncodableValue("--5"), kNoInteger}, {EncodableValue("44.3"), kNoInteger},
      {EncodableValue("\u0664\u0664\u0663"), kNoInteger},  // Arabic-Indic digits
      {EncodableValue("9223372036854775807"), INT64_MAX}, {EncodableValue("9223372036854775808"), kNoInteger},
      {EncodableValue("-9223372036854775808"), INT64_MIN}, {EncodableValue(""), kNoInteger},
      {EncodableValue(), kNoInteger}, {EncodableValue(1e300), INT64_MAX}, {EncodableValue(std::nan("")), 0},
  };
  for (const auto& [value, expected] : cases) EXPECT_EQ(integer(&value), expected) << text(&value).value_or("?");
}

TEST(Coercion, PropertyListAndJsonValuesFollowTheSameRules) {
  const std::pair<plist::Value, std::optional<int64_t>> plistCases[] = {
      {plist::Value(int64_t{1}), 1}, {plist::Value("1"), 1}, {plist::Value(true), 1}, {plist::Value(false), 0},
      {plist::Value(2.0), 2}, {plist::Value("yes"), kNoInteger}, {plist::Value(plist::Data{}), kNoInteger},
  };
  for (const auto& [value, expected] : plistCases) EXPECT_EQ(integer(&value), expected);
  plist::Value host(" GW.example\n");
  EXPECT_EQ(text(&host), "GW.example");
  EXPECT_EQ(integer(static_cast<const plist::Value*>(nullptr)), kNoInteger);

  const std::tuple<Json, std::optional<std::string>, std::optional<int64_t>> jsonCases[] = {
      {Json(" 203.0.113.9 "), "203.0.113.9", kNoInteger}, {Json(42), "42", 42}, {Json(2.5), "2.5", 2},
      {Json(uint64_t{18446744073709551615u}), "18446744073709551615", kNoInteger},
      {Json(nullptr), "<null>", kNoInteger}, {Json(false), "0", 0}, {Json("  "), kNoText, kNoInteger},
  };
  for (const auto& [value, asText, asInteger] : jsonCases) {
    EXPECT_EQ(text(&value), asText) << value.dump();
    EXPECT_EQ(integer(&value), asInteger) << value.dump();
  }
}

}  // namespace
}  // namespace tavlune
