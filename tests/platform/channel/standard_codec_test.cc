// Byte vectors below are worked out by hand from Flutter's standard codec
// format; they are little-endian, as the hosts we build for are.
#include "platform/channel/standard_codec.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>

#include "tests/platform/channel/test_bytes.h"

namespace tavlune::channel {
namespace {

using testing::B;
using testing::Bytes;
using testing::Cat;
using testing::Text;
using testing::Zeros;

static_assert(std::endian::native == std::endian::little, "the byte tables assume a little-endian host");

EncodableMap Map(std::initializer_list<std::pair<EncodableValue, EncodableValue>> entries) {
  EncodableMap map;
  for (const auto& [key, value] : entries) map.emplace(key, value);
  return map;
}

struct ValueCase {
  const char* name;
  EncodableValue value;
  Bytes bytes;
};

class ValueBytesTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ValueBytesTest, EncodesToExactBytesAndDecodesBack) {
  const auto& c = GetParam();
  EXPECT_EQ(EncodeMessage(c.value), c.bytes);
  auto decoded = DecodeMessage(c.bytes);
  ASSERT_TRUE(decoded) << decoded.error().description;
  EXPECT_TRUE(*decoded == c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Flutter, ValueBytesTest,
    ::testing::Values(
        ValueCase{"null", EncodableValue(), B({0x00})},
        ValueCase{"true", EncodableValue(true), B({0x01})},
        ValueCase{"false", EncodableValue(false), B({0x02})},
        ValueCase{"int32", EncodableValue(int32_t{-2}), B({0x03, 0xFE, 0xFF, 0xFF, 0xFF})},
        ValueCase{"int64", EncodableValue(int64_t{0x0102030405060708}),
                  B({0x04, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01})},
        ValueCase{"small_int64_stays_int64", EncodableValue(int64_t{1}), B({0x04, 1, 0, 0, 0, 0, 0, 0, 0})},
        ValueCase{"float64_padded_to_8", EncodableValue(1.0),
                  B({0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F})},
        ValueCase{"string", EncodableValue("hi"), B({0x07, 0x02, 'h', 'i'})},
        ValueCase{"uint8_list", EncodableValue(std::vector<uint8_t>{1, 2, 3}), B({0x08, 0x03, 1, 2, 3})},
        ValueCase{"int32_list", EncodableValue(std::vector<int32_t>{1, -1}),
                  B({0x09, 0x02, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF})},
        ValueCase{"int64_list", EncodableValue(std::vector<int64_t>{1}),
                  B({0x0A, 0x01, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0})},
        ValueCase{"float64_list", EncodableValue(std::vector<double>{0.5}),
                  B({0x0B, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0x3F})},
        ValueCase{"float32_list", EncodableValue(std::vector<float>{1.0f}),
                  B({0x0E, 0x01, 0, 0, 0, 0, 0x80, 0x3F})},
        // Empty typed lists keep their padding, as Dart writes them.
        ValueCase{"empty_int32_list", EncodableValue(std::vector<int32_t>{}), B({0x09, 0x00, 0, 0})},
        ValueCase{"empty_float64_list", EncodableValue(std::vector<double>{}), B({0x0B, 0x00, 0, 0, 0, 0, 0, 0})},
        ValueCase{"empty_uint8_list", EncodableValue(std::vector<uint8_t>{}), B({0x08, 0x00})},
        ValueCase{"list", EncodableValue(EncodableList{EncodableValue(1), EncodableValue("a")}),
                  B({0x0C, 0x02, 0x03, 1, 0, 0, 0, 0x07, 0x01, 'a'})},
        ValueCase{"map", EncodableValue(Map({{EncodableValue("k"), EncodableValue(true)}})),
                  B({0x0D, 0x01, 0x07, 0x01, 'k', 0x01})},
        // Keys go out in the map's order: int32 before string.
        ValueCase{"map_two_keys",
                  EncodableValue(Map({{EncodableValue("a"), EncodableValue()}, {EncodableValue(2), EncodableValue()}})),
                  B({0x0D, 0x02, 0x03, 2, 0, 0, 0, 0x00, 0x07, 0x01, 'a', 0x00})},
        // The inner float64's padding counts from the start of the message.
        ValueCase{"nested_list_float64",
                  EncodableValue(EncodableList{EncodableValue(EncodableList{EncodableValue(2.0)})}),
                  B({0x0C, 0x01, 0x0C, 0x01, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40})}),
    [](const auto& info) { return std::string(info.param.name); });

// A string of n bytes in front shifts the next value; the padding after its
// type (and size) byte must bring the payload to its alignment in the message.
struct AlignmentCase {
  size_t prefix;
  EncodableValue value;
  Bytes header;  // type byte and size, if any
  size_t padding;
  Bytes payload;
};

class AlignmentTest : public ::testing::TestWithParam<AlignmentCase> {};

TEST_P(AlignmentTest, PadsFromMessageStart) {
  const auto& c = GetParam();
  const EncodableValue list(EncodableList{EncodableValue(std::string(c.prefix, 'x')), c.value});
  const Bytes expected = Cat({B({0x0C, 0x02, 0x07, static_cast<int>(c.prefix)}), Bytes(c.prefix, 'x'), c.header,
                              Zeros(c.padding), c.payload});
  EXPECT_EQ(EncodeMessage(list), expected);
  auto decoded = DecodeMessage(expected);
  ASSERT_TRUE(decoded) << decoded.error().description;
  EXPECT_TRUE(*decoded == list);
}

const Bytes kOneF64 = B({0, 0, 0, 0, 0, 0, 0xF0, 0x3F});
const Bytes kOneI32 = B({1, 0, 0, 0});
const Bytes kOneI64 = B({1, 0, 0, 0, 0, 0, 0, 0});
const Bytes kOneF32 = B({0, 0, 0x80, 0x3F});

// Value type byte sits at offset 4 + prefix.
INSTANTIATE_TEST_SUITE_P(
    Flutter, AlignmentTest,
    ::testing::Values(AlignmentCase{0, EncodableValue(1.0), B({0x06}), 3, kOneF64},
                      AlignmentCase{2, EncodableValue(1.0), B({0x06}), 1, kOneF64},
                      AlignmentCase{3, EncodableValue(1.0), B({0x06}), 0, kOneF64},
                      AlignmentCase{4, EncodableValue(1.0), B({0x06}), 7, kOneF64},
                      AlignmentCase{0, EncodableValue(std::vector<int32_t>{1}), B({0x09, 1}), 2, kOneI32},
                      AlignmentCase{2, EncodableValue(std::vector<int32_t>{1}), B({0x09, 1}), 0, kOneI32},
                      AlignmentCase{3, EncodableValue(std::vector<int32_t>{1}), B({0x09, 1}), 3, kOneI32},
                      AlignmentCase{3, EncodableValue(std::vector<float>{1.0f}), B({0x0E, 1}), 3, kOneF32},
                      AlignmentCase{0, EncodableValue(std::vector<int64_t>{1}), B({0x0A, 1}), 2, kOneI64},
                      AlignmentCase{3, EncodableValue(std::vector<int64_t>{1}), B({0x0A, 1}), 7, kOneI64},
                      AlignmentCase{1, EncodableValue(std::vector<double>{1.0}), B({0x0B, 1}), 1, kOneF64},
                      AlignmentCase{5, EncodableValue(std::vector<double>{1.0}), B({0x0B, 1}), 5, kOneF64},
                      // Scalars other than float64 are never padded.
                      AlignmentCase{1, EncodableValue(1), B({0x03}), 0, kOneI32},
                      AlignmentCase{1, EncodableValue(int64_t{1}), B({0x04}), 0, kOneI64}));

struct SizeCase {
  size_t size;
  Bytes prefix;
};

class SizePrefixTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(SizePrefixTest, StringAndByteListUseTheSameSizeForm) {
  const auto& c = GetParam();
  const std::string text(c.size, 'z');
  EXPECT_EQ(EncodeMessage(EncodableValue(text)), Cat({B({0x07}), c.prefix, Text(text)}));
  const std::vector<uint8_t> bytes(c.size, 7);
  const Bytes encoded = EncodeMessage(EncodableValue(bytes));
  EXPECT_EQ(encoded, Cat({B({0x08}), c.prefix, bytes}));
  auto decoded = DecodeMessage(encoded);
  ASSERT_TRUE(decoded) << decoded.error().description;
  EXPECT_TRUE(*decoded == EncodableValue(bytes));
}

TEST_P(SizePrefixTest, ListCountsElements) {
  const auto& c = GetParam();
  const EncodableValue list(EncodableList(c.size, EncodableValue()));
  const Bytes encoded = EncodeMessage(list);
  EXPECT_EQ(encoded, Cat({B({0x0C}), c.prefix, Zeros(c.size)}));
  auto decoded = DecodeMessage(encoded);
  ASSERT_TRUE(decoded) << decoded.error().description;
  EXPECT_TRUE(*decoded == list);
}

INSTANTIATE_TEST_SUITE_P(Flutter, SizePrefixTest,
                         ::testing::Values(SizeCase{0, B({0x00})}, SizeCase{253, B({0xFD})},
                                           SizeCase{254, B({0xFE, 0xFE, 0x00})},
                                           SizeCase{255, B({0xFE, 0xFF, 0x00})},
                                           SizeCase{65535, B({0xFE, 0xFF, 0xFF})},
                                           SizeCase{65536, B({0xFF, 0x00, 0x00, 0x01, 0x00})}));

TEST(StandardCodecTest, AcceptsLongerSizeFormsThanNeeded) {
  for (const Bytes& bytes : {B({0x07, 0xFE, 0x01, 0x00, 'a'}), B({0x07, 0xFF, 0x01, 0, 0, 0, 'a'})}) {
    auto decoded = DecodeMessage(bytes);
    ASSERT_TRUE(decoded) << decoded.error().description;
    EXPECT_TRUE(*decoded == EncodableValue("a"));
  }
}

TEST(StandardCodecTest, LegacyLargeIntDecodesAsItsString) {
  auto decoded = DecodeMessage(B({0x05, 0x04, '1', '2', 'a', 'b'}));
  ASSERT_TRUE(decoded) << decoded.error().description;
  EXPECT_TRUE(*decoded == EncodableValue("12ab"));
}

TEST(StandardCodecTest, EmptyTypedListWithoutPaddingAtTheEndIsAccepted) {
  // Flutter's C++ wrapper writes empty typed lists without padding.
  struct Case {
    Bytes bytes;
    EncodableValue value;
  };
  for (const auto& c : {Case{B({0x0B, 0x00}), EncodableValue(std::vector<double>{})},
                        Case{B({0x0C, 0x01, 0x0A, 0x00}), EncodableValue(EncodableList{EncodableValue(std::vector<int64_t>{})})},
                        Case{B({0x0E, 0x00}), EncodableValue(std::vector<float>{})}}) {
    auto decoded = DecodeMessage(c.bytes);
    ASSERT_TRUE(decoded) << decoded.error().description;
    EXPECT_TRUE(*decoded == c.value);
  }
}

TEST(StandardCodecTest, InvalidUtf8IsRepairedWhenSent) {
  struct Case {
    std::string text;
    Bytes bytes;
  };
  for (const auto& c : {Case{"a\xFF" "b", B({0x07, 0x05, 'a', 0xEF, 0xBF, 0xBD, 'b'})},
                        Case{"\xED\xA0\x80", B({0x07, 0x09, 0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD})},
                        Case{"\xF0\x90\x8D\x88", B({0x07, 0x04, 0xF0, 0x90, 0x8D, 0x88})}}) {
    const Bytes encoded = EncodeMessage(EncodableValue(c.text));
    EXPECT_EQ(encoded, c.bytes);
    EXPECT_TRUE(DecodeMessage(encoded));
  }
}

TEST(StandardCodecTest, ValidUtf8EdgesDecode) {
  for (const std::string text : {"\x7F", "\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEE\x80\x80",
                                 "\xEF\xBF\xBF", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF"}) {
    const Bytes bytes = Cat({B({0x07, static_cast<int>(text.size())}), Text(text)});
    auto decoded = DecodeMessage(bytes);
    ASSERT_TRUE(decoded) << decoded.error().description;
    EXPECT_TRUE(*decoded == EncodableValue(text));
  }
}

TEST(StandardCodecTest, StringLiteralNeverBecomesBool) {
  static_assert(!std::is_convertible_v<const char*, EncodableValue>);
  EncodableValue constructed("yes");
  EncodableValue assigned;
  assigned = "no";
  EXPECT_TRUE(std::holds_alternative<std::string>(constructed));
  EXPECT_TRUE(std::holds_alternative<std::string>(assigned));
  EXPECT_EQ(EncodeMessage(assigned), B({0x07, 0x02, 'n', 'o'}));
  // A map keyed by a literal finds the string key.
  EncodableMap map;
  map[EncodableValue("k")] = EncodableValue(1);
  EXPECT_EQ(map.count(EncodableValue(std::string("k"))), 1u);
}

TEST(StandardCodecTest, RoundTripsEveryKindOfValue) {
  const double nan_free[] = {0.0, -0.0, 1e308, -4.9e-324, std::numeric_limits<double>::infinity()};
  EncodableList everything{
      EncodableValue(),
      EncodableValue(true),
      EncodableValue(std::numeric_limits<int32_t>::min()),
      EncodableValue(std::numeric_limits<int64_t>::max()),
      EncodableValue(std::vector<double>(std::begin(nan_free), std::end(nan_free))),
      EncodableValue("ключ \xF0\x9F\x94\x91"),
      EncodableValue(std::vector<uint8_t>{0, 255}),
      EncodableValue(std::vector<int32_t>{std::numeric_limits<int32_t>::max(), 0}),
      EncodableValue(std::vector<int64_t>{std::numeric_limits<int64_t>::min()}),
      EncodableValue(std::vector<float>{-1.5f, 3.25f, 0.0f}),
      EncodableValue(Map({{EncodableValue(EncodableList{EncodableValue(1)}), EncodableValue(2.5)},
                          {EncodableValue(int64_t{7}), EncodableValue(Map({}))},
                          {EncodableValue(), EncodableValue("null key")}})),
  };
  for (double d : nan_free) everything.emplace_back(d);
  const EncodableValue value(everything);
  auto decoded = DecodeMessage(EncodeMessage(value));
  ASSERT_TRUE(decoded) << decoded.error().description;
  EXPECT_TRUE(*decoded == value);
}

EncodableValue Nested(int depth, bool maps) {
  EncodableValue value(1);
  for (int i = 0; i < depth; ++i) {
    value = maps ? EncodableValue(Map({{EncodableValue(), value}})) : EncodableValue(EncodableList{value});
  }
  return value;
}

TEST(StandardCodecTest, NestingUpToTheCapDecodes) {
  for (bool maps : {false, true}) {
    const EncodableValue value = Nested(kMaxNestingDepth, maps);
    auto decoded = DecodeMessage(EncodeMessage(value));
    ASSERT_TRUE(decoded) << decoded.error().description;
    EXPECT_TRUE(*decoded == value);
    EXPECT_FALSE(DecodeMessage(EncodeMessage(Nested(kMaxNestingDepth + 1, maps))));
  }
}

// ---- method codec ----

struct CallCase {
  const char* name;
  std::string method;
  std::optional<EncodableValue> arguments;
  Bytes bytes;
};

class MethodCallBytesTest : public ::testing::TestWithParam<CallCase> {};

TEST_P(MethodCallBytesTest, EncodesToExactBytesAndDecodesBack) {
  const auto& c = GetParam();
  const MethodCall call = c.arguments ? MethodCall(c.method, *c.arguments) : MethodCall(c.method);
  EXPECT_EQ(EncodeMethodCall(call), c.bytes);
  auto decoded = DecodeMethodCall(c.bytes);
  ASSERT_TRUE(decoded) << decoded.error().description;
  EXPECT_EQ(decoded->method_name(), c.method);
  ASSERT_NE(decoded->arguments(), nullptr);
  EXPECT_TRUE(*decoded->arguments() == c.arguments.value_or(EncodableValue()));
}

INSTANTIATE_TEST_SUITE_P(
    Flutter, MethodCallBytesTest,
    ::testing::Values(
        CallCase{"no_arguments", "ping", std::nullopt, B({0x07, 0x04, 'p', 'i', 'n', 'g', 0x00})},
        CallCase{"map_arguments", "x", EncodableValue(Map({{EncodableValue("a"), EncodableValue(1)}})),
                 B({0x07, 0x01, 'x', 0x0D, 0x01, 0x07, 0x01, 'a', 0x03, 1, 0, 0, 0})},
        // The argument's padding counts the name in front of it.
        CallCase{"float64_argument", "f", EncodableValue(1.0),
                 Cat({B({0x07, 0x01, 'f', 0x06, 0, 0, 0, 0}), kOneF64})},
        CallCase{"empty_name", "", EncodableValue(false), B({0x07, 0x00, 0x02})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MethodCodecTest, LegacyLargeIntNameIsAString) {
  auto decoded = DecodeMethodCall(B({0x05, 0x01, 'f', 0x00}));
  ASSERT_TRUE(decoded) << decoded.error().description;
  EXPECT_EQ(decoded->method_name(), "f");
}

TEST(MethodCodecTest, EnvelopesHaveExactBytes) {
  const EncodableValue ok("ok");
  const EncodableValue seven(7);
  const EncodableValue half(0.5);
  EXPECT_EQ(EncodeSuccessEnvelope(), B({0x00, 0x00}));
  EXPECT_EQ(EncodeSuccessEnvelope(&ok), B({0x00, 0x07, 0x02, 'o', 'k'}));
  EXPECT_EQ(EncodeSuccessEnvelope(&half), B({0x00, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0x3F}));
  EXPECT_EQ(EncodeErrorEnvelope("E"), B({0x01, 0x07, 0x01, 'E', 0x00, 0x00}));
  EXPECT_EQ(EncodeErrorEnvelope("E", "m", &seven), B({0x01, 0x07, 0x01, 'E', 0x07, 0x01, 'm', 0x03, 7, 0, 0, 0}));
  EXPECT_EQ(EncodeErrorEnvelope(FlutterError{"E", "", seven}), B({0x01, 0x07, 0x01, 'E', 0x00, 0x03, 7, 0, 0, 0}));
  EXPECT_TRUE(EncodeNotImplementedEnvelope().empty());
}

struct EnvelopeCase {
  const char* name;
  Bytes bytes;
  MethodReply reply;
};

class EnvelopeDecodeTest : public ::testing::TestWithParam<EnvelopeCase> {};

TEST_P(EnvelopeDecodeTest, Decodes) {
  const auto& c = GetParam();
  auto decoded = DecodeEnvelope(c.bytes);
  ASSERT_TRUE(decoded) << decoded.error().description;
  EXPECT_TRUE(*decoded == c.reply);
}

INSTANTIATE_TEST_SUITE_P(
    Flutter, EnvelopeDecodeTest,
    ::testing::Values(
        EnvelopeCase{"empty_is_not_implemented", B({}), NotImplementedReply{}},
        EnvelopeCase{"success_null", B({0x00, 0x00}), SuccessReply{}},
        EnvelopeCase{"success_value", B({0x00, 0x03, 5, 0, 0, 0}), SuccessReply{EncodableValue(5)}},
        EnvelopeCase{"error_null_message_and_details", B({0x01, 0x07, 0x01, 'E', 0x00, 0x00}),
                     FlutterError{"E", "", std::nullopt}},
        EnvelopeCase{"error_with_all", B({0x01, 0x07, 0x01, 'E', 0x07, 0x01, 'm', 0x01}),
                     FlutterError{"E", "m", EncodableValue(true)}},
        EnvelopeCase{"error_with_stacktrace", B({0x01, 0x07, 0x01, 'E', 0x00, 0x00, 0x07, 0x02, 's', 't'}),
                     FlutterError{"E", "", std::nullopt}},
        EnvelopeCase{"error_with_null_stacktrace", B({0x01, 0x07, 0x01, 'E', 0x00, 0x00, 0x00}),
                     FlutterError{"E", "", std::nullopt}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MethodCodecTest, RepliesRoundTrip) {
  for (const MethodReply& reply :
       {MethodReply(SuccessReply{}), MethodReply(SuccessReply{EncodableValue(std::vector<double>{1.5})}),
        MethodReply(FlutterError{"code", "message", EncodableValue(Map({{EncodableValue("k"), EncodableValue(2.0)}}))}),
        MethodReply(FlutterError{"code", "", std::nullopt}), MethodReply(NotImplementedReply{})}) {
    auto decoded = DecodeEnvelope(EncodeReply(reply));
    ASSERT_TRUE(decoded) << decoded.error().description;
    EXPECT_TRUE(*decoded == reply);
  }
}

}  // namespace
}  // namespace tavlune::channel
