#include "platform/plist/plist.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tavlune::platform::plist {
namespace {

Data bytesOf(const std::string& s) { return Data(s.begin(), s.end()); }
Result<Value> parseBytes(const Data& bytes) { return parse(std::span<const uint8_t>(bytes)); }

// A "bplist00" file of encoded objects (object 0 the root; 1-byte references, 4-byte offsets), so tests
// can hold files no writer produces.
Data binaryPlist(const std::vector<Data>& objects) {
  Data file = bytesOf("bplist00"), offsets;
  for (const Data& object : objects) {
    for (int shift = 24; shift >= 0; shift -= 8) offsets.push_back(uint8_t(file.size() >> shift));
    file.insert(file.end(), object.begin(), object.end());
  }
  Data trailer(32, 0);
  trailer[6] = 4, trailer[7] = 1, trailer[15] = uint8_t(objects.size());
  for (int i = 0; i < 4; ++i) trailer[31 - i] = uint8_t(file.size() >> (8 * i));
  file.insert(file.end(), offsets.begin(), offsets.end());
  file.insert(file.end(), trailer.begin(), trailer.end());
  return file;
}
// Arrays each holding the next (twice: 2^levels values once expanded), around a leaf.
Data binaryChain(uint8_t levels, bool twice, Data leaf) {
  std::vector<Data> objects;
  for (uint8_t i = 1; i <= levels; ++i) objects.push_back(twice ? Data{0xA2, i, i} : Data{0xA1, i});
  objects.push_back(leaf);
  return binaryPlist(objects);
}
std::string xmlDocument(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body + "</plist>";
}
Data xmlNested(size_t depth) {
  std::string open, close;
  for (size_t i = 0; i < depth; ++i) open += "<array>", close += "</array>";
  return bytesOf(xmlDocument(open + close));
}
Value nestedArrays(size_t depth) {
  Value v{Array{}};
  for (size_t i = 1; i < depth; ++i) v = Value(Array{std::move(v)});
  return v;
}

enum class Format { kBinary, kXml };
Result<Value> roundTrip(const Value& value, Format format) {
  if (format == Format::kBinary) {
    auto bytes = toBinary(value);
    return bytes ? parseBytes(*bytes) : unexpected(bytes.error());
  }
  auto text = toXml(value);
  return text ? parse(std::string_view(*text)) : unexpected(text.error());
}

class RoundTrip : public ::testing::TestWithParam<Format> {};

TEST_P(RoundTrip, EveryCaseComesBackEqual) {
  const Dictionary nested{{"list", Value(Array{Value(int64_t{1}), Value("two"), Value(Dictionary{{"x", Value(true)}})})},
                          {"empty", Value(Dictionary{})},
                          {"bytes", Value(Data{0, 1, 2, 255})}};
  const struct {
    const char* name;
    Value value;
    bool binaryOnly = false;  // XML drops fractional seconds
  } cases[] = {
      {"true", Value(true)}, {"false", Value(false)}, {"zero", Value(int64_t{0})}, {"minus_one", Value(int64_t{-1})},
      {"int64_min", Value(INT64_MIN)}, {"int64_max", Value(INT64_MAX)}, {"two_to_32", Value(int64_t{1} << 32)},
      {"minus_two_to_32", Value(-(int64_t{1} << 32))}, {"real", Value(0.1)}, {"real_huge", Value(1e300)},
      {"real_negative", Value(-2.5)}, {"real_infinite", Value(-HUGE_VAL)}, {"string", Value("plain")},
      {"string_unicode", Value("gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80 \xE6\x97\xA5")},
      {"string_markup", Value("<a href=\"x\">&amp;</a>")}, {"string_empty", Value(std::string())},
      {"data", Value(Data{0, 0xFF, 0x7F, 0x80})}, {"data_empty", Value(Data{})},
      {"date_whole", Value(Date{700000000})}, {"date_before_2001", Value(Date{-86400 * 365})},
      {"date_fraction", Value(Date{700000000.25}), true}, {"date_negative_fraction", Value(Date{-1.5}), true},
      {"uid", Value(Uid{5})}, {"uid_max", Value(Uid{UINT32_MAX})}, {"array_empty", Value(Array{})},
      {"dict_empty", Value(Dictionary{})}, {"nested", Value(nested)}, {"deepest_allowed", nestedArrays(kMaxDepth)},  };
  for (const auto& c : cases) {
    if (c.binaryOnly && GetParam() == Format::kXml) continue;
    auto back = roundTrip(c.value, GetParam());
    ASSERT_TRUE(back) << c.name << ": " << back.error().description;
    EXPECT_TRUE(*back == c.value) << c.name;
  }
  // A fraction that rounds to a whole second is carried into the seconds.
  EXPECT_EQ(*roundTrip(Value(Date{-2.9999996}), GetParam()), Value(Date{-3}));
  EXPECT_TRUE(std::isnan(*roundTrip(Value(std::nan("")), GetParam())->as<double>()));
  // Refused both ways: too deep, not UTF-8 text without NUL, a UID past 32 bits, a date past the range.
  for (const Value& value : {nestedArrays(kMaxDepth + 1), Value(std::string("\xC3\x28")), Value(std::string("a\0b", 3)),
                             Value(Dictionary{{std::string("\xFF"), Value(true)}}), Value(Uid{uint64_t{1} << 32}),
                             Value(Date{3e9}), Value(Date{2147483647.9999996}), Value(Date{std::nan("")}),
                             Value(Dictionary{{"k", nestedArrays(kMaxDepth)}})}) {
    EXPECT_FALSE(GetParam() == Format::kBinary ? toBinary(value).has_value() : toXml(value).has_value());
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip, ::testing::Values(Format::kBinary, Format::kXml),
                         [](const auto& info) { return info.param == Format::kBinary ? "Binary" : "Xml"; });

Data withByte(Data file, size_t at, uint8_t byte) {
  file[at] = byte;
  return file;
}

TEST(PlistMalformed, EveryCaseIsAnError) {
  const Data valid = *toBinary(Value(Dictionary{{"key", Value(Data{1, 2, 3})}, {"n", Value(int64_t{-5})}}));
  const size_t trailer = valid.size() - 32;
  const Data intoTable = withByte(binaryPlist({{0x09}}), 12, 0x09);  // the only object's offset points at the table
  const std::pair<const char*, Data> cases[] = {
      {"empty", {}},
      {"offset_table_past_end", withByte(valid, trailer + 31, 0xF0)},
      {"object_offset_into_table", intoTable},
      {"array_reference_out_of_range", binaryPlist({{0xA1, 0x05}, {0x09}})},
      {"array_longer_than_file", binaryPlist({{0xAF, 0x13, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}})},
      {"integer_past_int64", binaryPlist({{0x14, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}})},
      {"date_far_future", binaryPlist({{0x33, 0x42, 0x6D, 0x1A, 0x94, 0xA2, 0x00, 0x00, 0x00}})},  // 1e12 s
      {"uid_past_32_bits", binaryPlist({{0x84, 1, 0, 0, 0, 0}})},
      {"ascii_string_with_nul", binaryPlist({{0x53, 'a', 0, 'b'}})},
      {"binary_too_deep", binaryChain(kMaxDepth, false, {0xA0})},
      {"binary_billion_laughs", binaryChain(40, true, {0x09})},
      {"xml_unclosed", bytesOf(xmlDocument("<array><true/>"))},
      {"xml_integer_past_int64", bytesOf(xmlDocument("<integer>9223372036854775808</integer>"))},
      {"xml_string_invalid_utf8", bytesOf(xmlDocument("<string>\xC0\xAF</string>"))},
      {"xml_internal_subset", bytesOf("<!DOCTYPE plist [<!ENTITY a \"b\">]>" + xmlDocument("<true/>"))},
      {"xml_one_too_deep", xmlNested(kMaxDepth + 1)},
      {"xml_far_too_deep", xmlNested(200000)},
      {"over_size_cap", bytesOf(xmlDocument("<string>" + std::string(kMaxInputBytes, 'a') + "</string>"))},
  };
  for (const auto& [name, bytes] : cases) {
    auto parsed = parseBytes(bytes);
    ASSERT_FALSE(parsed) << name;
    EXPECT_FALSE(parsed.error().description.empty()) << name;
  }
  // The check that refuses markup libplist would misread names what it found.
  for (const auto& [body, reason] : {std::pair{"<!DOCTYPE plist", "unterminated declaration"},
                                     {"</array>", "unbalanced closing tag"}}) {
    EXPECT_NE(parse(std::string("<?xml version=\"1.0\"?>") + body).error().description.find(reason), std::string::npos) << body;
  }
}

}  // namespace
}  // namespace tavlune::platform::plist
