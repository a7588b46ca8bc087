#include <gtest/gtest.h>

#include "platform/plist/plist.h"
#include "tests/platform/plist/plist_test_support.h"

namespace tavlune::platform::plist {
namespace {

using testing::binaryPlist;
using testing::nestedArrays;
using testing::xmlDocument;

Data bytesOf(const std::string& s) { return Data(s.begin(), s.end()); }

// depth arrays, each holding the next: object i is [i+1].
Data binaryNested(size_t depth) {
  std::vector<Data> objects;
  for (size_t i = 0; i + 1 < depth; ++i) objects.push_back({0xA1, static_cast<uint8_t>(i + 1)});
  objects.push_back({0xA0});
  return binaryPlist(objects);
}

// Each level holds the next one twice: 2^levels values once expanded.
Data binaryLaughs(size_t levels) {
  std::vector<Data> objects;
  for (size_t i = 0; i < levels; ++i) {
    objects.push_back({0xA2, static_cast<uint8_t>(i + 1), static_cast<uint8_t>(i + 1)});
  }
  objects.push_back({0x09});
  return binaryPlist(objects);
}

std::string xmlNested(size_t depth) {
  std::string body;
  for (size_t i = 0; i < depth; ++i) body += "<array>";
  for (size_t i = 0; i < depth; ++i) body += "</array>";
  return xmlDocument(body);
}

Data validBinary() {
  Dictionary d{{"key", Value(Data{1, 2, 3})}, {"n", Value(int64_t{-5})}};
  return *toBinary(Value(d));
}

Data withByte(Data file, size_t at, uint8_t byte) {
  file[at] = byte;
  return file;
}

struct MalformedCase {
  const char* name;
  Data bytes;
};

std::vector<MalformedCase> malformedCases() {
  const Data valid = validBinary();
  const size_t trailer = valid.size() - 32;
  return {
      {"empty", {}},
      {"garbage", bytesOf("\x01\x02 not a plist at all \xFF")},
      {"magic_only", bytesOf("bplist00")},
      {"other_binary_version", withByte(valid, 7, '1')},
      {"truncated_binary", Data(valid.begin(), valid.begin() + static_cast<long>(valid.size() / 2))},
      {"binary_without_last_byte", Data(valid.begin(), valid.end() - 1)},
      {"offset_table_past_end", withByte(valid, trailer + 31, 0xF0)},
      {"root_past_objects", withByte(valid, trailer + 23, 0x7F)},
      {"zero_offset_size", withByte(valid, trailer + 6, 0)},
      {"object_offset_into_table", [] {
         Data f = binaryPlist({{0x09}});
         f[f.size() - 33] = 0x09;  // the only object's offset now points at the table
         return f;
       }()},
      {"array_reference_out_of_range", binaryPlist({{0xA1, 0x05}, {0x09}})},
      {"array_longer_than_file", binaryPlist({{0xAF, 0x13, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}})},
      {"string_longer_than_file", binaryPlist({{0x5F, 0x10, 0xF0, 'a'}})},
      {"self_reference", binaryPlist({{0xA1, 0x00}})},
      {"cycle_through_dict", binaryPlist({{0xD1, 0x01, 0x02}, {0x51, 'k'}, {0xA1, 0x00}})},
      {"dict_key_not_string", binaryPlist({{0xD1, 0x01, 0x01}, {0x10, 0x01}})},
      {"null_object", binaryPlist({{0x00}})},
      {"set_object", binaryPlist({{0xC1, 0x01}, {0x09}})},
      {"bad_integer_size", binaryPlist({{0x15, 0, 0, 0, 0}})},
      {"integer_past_int64", binaryPlist({{0x14, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}})},
      {"uint64_max_16_bytes", binaryPlist({{0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}})},
      {"date_far_future", binaryPlist({{0x33, 0x42, 0x6D, 0x1A, 0x94, 0xA2, 0x00, 0x00, 0x00}})},  // 1e12 s
      {"uid_past_32_bits", binaryPlist({{0x84, 1, 0, 0, 0, 0}})},
      {"ascii_string_with_nul", binaryPlist({{0x53, 'a', 0, 'b'}})},
      {"ascii_string_invalid_utf8", binaryPlist({{0x52, 0xC3, 0x28}})},
      {"utf16_lone_surrogate", binaryPlist({{0x61, 0xD8, 0x3D}})},
      {"binary_too_deep", binaryNested(kMaxDepth + 1)},
      {"binary_billion_laughs", binaryLaughs(40)},
      {"xml_unclosed", bytesOf(xmlDocument("<array><true/>"))},
      {"xml_dict_without_key", bytesOf(xmlDocument("<dict><string>x</string></dict>"))},
      {"xml_unknown_element", bytesOf(xmlDocument("<banana/>"))},
      {"xml_stray_close", bytesOf(xmlDocument("</array>"))},
      {"xml_integer_hex", bytesOf(xmlDocument("<integer>0x10</integer>"))},
      {"xml_integer_octal_looking", bytesOf(xmlDocument("<integer>010</integer>"))},
      {"xml_integer_trailing_text", bytesOf(xmlDocument("<integer>5x</integer>"))},
      {"xml_integer_empty", bytesOf(xmlDocument("<integer></integer>"))},
      {"xml_integer_past_int64", bytesOf(xmlDocument("<integer>9223372036854775808</integer>"))},
      {"xml_integer_below_int64", bytesOf(xmlDocument("<integer>-9223372036854775809</integer>"))},
      {"xml_string_invalid_utf8", bytesOf(xmlDocument("<string>\xC0\xAF</string>"))},
      {"xml_key_invalid_utf8", bytesOf(xmlDocument("<dict><key>\xFF</key><true/></dict>"))},
      {"xml_internal_subset", bytesOf("<!DOCTYPE plist [<!ENTITY a \"b\">]>" + xmlDocument("<true/>"))},
      {"xml_unterminated_comment", bytesOf(xmlDocument("<!-- <true/>"))},
      {"xml_one_too_deep", bytesOf(xmlNested(kMaxDepth + 1))},
      {"xml_too_deep", bytesOf(xmlNested(kMaxDepth + 3))},
      {"xml_far_too_deep", bytesOf(xmlNested(200000))},
      {"over_size_cap", [] {
         std::string doc = xmlDocument("<string>" + std::string(kMaxInputBytes, 'a') + "</string>");
         return bytesOf(doc);
       }()},
  };
}

TEST(PlistMalformed, EveryCaseIsAnError) {
  for (const MalformedCase& c : malformedCases()) {
    SCOPED_TRACE(c.name);
    auto parsed = parse(std::span<const uint8_t>(c.bytes));
    EXPECT_FALSE(parsed);
    if (!parsed) {
      EXPECT_FALSE(parsed.error().description.empty());
    }
  }
}

// The guards must not refuse what sits right at the limits.
TEST(PlistMalformed, LimitsThemselvesAreAccepted) {
  struct Case {
    const char* name;
    Data bytes;
  } cases[] = {
      {"binary_depth", binaryNested(kMaxDepth)},
      {"xml_depth", bytesOf(xmlNested(kMaxDepth))},
      {"binary_shared_scalars", binaryLaughs(1)},
      {"binary_laughs_under_node_cap", binaryLaughs(18)},
      {"xml_comment_and_cdata", bytesOf(xmlDocument("<!-- <array> --><string><![CDATA[a<b]]></string>"))},
      {"near_size_cap", bytesOf(xmlDocument("<data>" + std::string(kMaxInputBytes - 200, 'A') + "</data>"))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto parsed = parse(std::span<const uint8_t>(c.bytes));
    EXPECT_TRUE(parsed) << parsed.error().description;
  }
  EXPECT_TRUE(*parse(std::span<const uint8_t>(binaryNested(kMaxDepth))) == nestedArrays(kMaxDepth));
}

}  // namespace
}  // namespace tavlune::platform::plist
