#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "platform/plist/plist.h"
#include "tests/platform/plist/plist_test_support.h"

namespace tavlune::platform::plist {
namespace {

using testing::binaryPlist;
using testing::nestedArrays;
using testing::xmlDocument;

enum class Format { kBinary, kXml };

Result<Value> roundTrip(const Value& value, Format format) {
  if (format == Format::kBinary) {
    auto bytes = toBinary(value);
    if (!bytes) return unexpected(bytes.error());
    return parse(std::span<const uint8_t>(*bytes));
  }
  auto text = toXml(value);
  if (!text) return unexpected(text.error());
  return parse(std::string_view(*text));
}

struct RoundTripCase {
  const char* name;
  Value value;
  bool binaryOnly = false;  // XML drops fractional seconds and the sign of zero
};

std::vector<RoundTripCase> roundTripCases() {
  Dictionary nested{{"list", Value(Array{Value(int64_t{1}), Value("two"), Value(Dictionary{{"x", Value(true)}})})},
                    {"empty", Value(Dictionary{})},
                    {"bytes", Value(Data{0, 1, 2, 255})}};
  return {
      {"true", Value(true)},
      {"false", Value(false)},
      {"zero", Value(int64_t{0})},
      {"minus_one", Value(int64_t{-1})},
      {"int64_min", Value(INT64_MIN)},
      {"int64_max", Value(INT64_MAX)},
      {"two_to_32", Value(int64_t{1} << 32)},
      {"minus_two_to_32", Value(-(int64_t{1} << 32))},
      {"real", Value(0.1)},
      {"real_huge", Value(1e300)},
      {"real_negative", Value(-2.5)},
      {"real_infinite", Value(-HUGE_VAL)},
      {"negative_zero", Value(-0.0), true},
      {"string", Value("plain")},
      {"string_unicode", Value("gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80 \xE6\x97\xA5")},
      {"string_markup", Value("<a href=\"x\">&amp;</a>")},
      {"string_empty", Value(std::string())},
      {"data", Value(Data{0, 0xFF, 0x7F, 0x80})},
      {"data_empty", Value(Data{})},
      {"date_whole", Value(Date{700000000})},
      {"date_before_2001", Value(Date{-86400 * 365})},
      {"date_fraction", Value(Date{700000000.25}), true},
      {"date_negative_fraction", Value(Date{-1.5}), true},
      {"uid", Value(Uid{5})},
      {"uid_max", Value(Uid{UINT32_MAX})},
      {"array_empty", Value(Array{})},
      {"dict_empty", Value(Dictionary{})},
      {"nested", Value(nested)},
      {"deepest_allowed", nestedArrays(kMaxDepth)},
  };
}

class RoundTrip : public ::testing::TestWithParam<Format> {};

TEST_P(RoundTrip, EveryCaseComesBackEqual) {
  for (const RoundTripCase& c : roundTripCases()) {
    if (c.binaryOnly && GetParam() == Format::kXml) continue;
    SCOPED_TRACE(c.name);
    auto back = roundTrip(c.value, GetParam());
    ASSERT_TRUE(back) << back.error().description;
    EXPECT_TRUE(*back == c.value);
  }
}

TEST_P(RoundTrip, NegativeZeroKeepsItsSignOnlyInBinary) {
  auto back = roundTrip(Value(-0.0), GetParam());
  ASSERT_TRUE(back);
  EXPECT_EQ(std::signbit(*back->as<double>()), GetParam() == Format::kBinary);
}

TEST_P(RoundTrip, NaNStaysNaN) {
  auto back = roundTrip(Value(std::nan("")), GetParam());
  ASSERT_TRUE(back);
  EXPECT_TRUE(std::isnan(*back->as<double>()));
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip, ::testing::Values(Format::kBinary, Format::kXml),
                         [](const auto& info) { return info.param == Format::kBinary ? "Binary" : "Xml"; });

// What CoreFoundation writes and reads: negative integers as 8-byte two's
// complement, values past INT64_MAX as 16 bytes.
TEST(PlistIntegers, BinaryEncodingMatchesCoreFoundation) {
  struct Case {
    Data object;
    int64_t expected;
  } cases[] = {
      {{0x13, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, -1},
      {{0x13, 0x80, 0, 0, 0, 0, 0, 0, 0}, INT64_MIN},
      {{0x12, 0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFFFFFF},  // short forms are unsigned
      {{0x10, 0xFF}, 255},
      {{0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, INT64_MAX},
      {{0x14, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}, -2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    auto parsed = parse(std::span<const uint8_t>(binaryPlist({c.object})));
    ASSERT_TRUE(parsed) << parsed.error().description;
    ASSERT_TRUE(parsed->is<int64_t>());
    EXPECT_EQ(*parsed->as<int64_t>(), c.expected);
  }

  auto written = toBinary(Value(int64_t{-1}));
  ASSERT_TRUE(written);
  const Data minusOne = {0x13, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_NE(std::search(written->begin(), written->end(), minusOne.begin(), minusOne.end()), written->end());
}

TEST(PlistIntegers, XmlIsSignedDecimal) {
  struct Case {
    const char* text;
    int64_t expected;
  } cases[] = {{"-1", -1}, {"-9223372036854775808", INT64_MIN}, {"9223372036854775807", INT64_MAX},
               {"4294967296", int64_t{1} << 32}, {"0", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto parsed = parse(xmlDocument(std::string("<integer>") + c.text + "</integer>"));
    ASSERT_TRUE(parsed) << parsed.error().description;
    EXPECT_EQ(*parsed->as<int64_t>(), c.expected);
    auto written = toXml(*parsed);
    ASSERT_TRUE(written);
    EXPECT_NE(written->find(std::string("<integer>") + c.text + "</integer>"), std::string::npos);
  }
}

TEST(PlistWrite, RefusesWhatCannotBeWritten) {
  struct Case {
    const char* name;
    Value value;
  } cases[] = {
      {"too_deep", nestedArrays(kMaxDepth + 1)},
      {"invalid_utf8", Value(std::string("\xC3\x28"))},
      {"nul_in_string", Value(std::string("a\0b", 3))},
      {"invalid_key", Value(Dictionary{{std::string("\xFF"), Value(true)}})},
      {"uid_past_32_bits", Value(Uid{uint64_t{1} << 32})},
      {"date_past_2069", Value(Date{3e9})},
      {"date_nan", Value(Date{std::nan("")})},
      {"deep_inside_dict", Value(Dictionary{{"k", nestedArrays(kMaxDepth)}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(toBinary(c.value));
    EXPECT_FALSE(toXml(c.value));
  }
}

TEST(PlistRead, XmlUidDictionaryReadsAsUid) {
  auto parsed = parse(xmlDocument("<dict><key>CF$UID</key><integer>7</integer></dict>"));
  ASSERT_TRUE(parsed);
  EXPECT_TRUE(*parsed == Value(Uid{7}));
}

TEST(PlistRead, Utf16StringsBecomeUtf8) {
  // "é😀" as UTF-16 with a surrogate pair.
  auto parsed = parse(std::span<const uint8_t>(binaryPlist({{0x63, 0x00, 0xE9, 0xD8, 0x3D, 0xDE, 0x00}})));
  ASSERT_TRUE(parsed) << parsed.error().description;
  EXPECT_TRUE(*parsed == Value("\xC3\xA9\xF0\x9F\x98\x80"));
}

}  // namespace
}  // namespace tavlune::platform::plist
