// Byte vectors are worked out by hand from the standard codec format, little-endian as our hosts.
#include "channel/standard_codec.h"

#include <gtest/gtest.h>

#include <bit>
#include <limits>

#include "tests/channel/test_bytes.h"

namespace tavlune::channel {
namespace {

using namespace testing;
using V = EncodableValue;
static_assert(std::endian::native == std::endian::little);
static_assert(!std::is_convertible_v<const char*, V>, "a string literal must never become a bool");

V List(std::initializer_list<V> items) { return V(EncodableList(items)); }
V Map(std::initializer_list<std::pair<const V, V>> entries) { return V(EncodableMap(entries)); }

void ExpectDecodes(const Bytes& bytes, const V& value) {
  auto decoded = DecodeMessage(bytes);
  ASSERT_TRUE(decoded) << decoded.error().description;
  EXPECT_TRUE(*decoded == value);
}
void ExpectExactBytes(const V& value, const Bytes& bytes) {
  EXPECT_EQ(EncodeMessage(value), bytes);
  ExpectDecodes(bytes, value);
}
const Bytes kOneF64 = B({0, 0, 0, 0, 0, 0, 0xF0, 0x3F});

TEST(StandardCodecTest, ValuesEncodeToExactBytesAndDecodeBack) {
  const std::pair<V, Bytes> cases[] = {
      {V(), B({0x00})},
      {V(true), B({0x01})},
      {V(false), B({0x02})},
      {V(int32_t{-2}), B({0x03, 0xFE, 0xFF, 0xFF, 0xFF})},
      {V(int64_t{0x0102030405060708}), B({0x04, 8, 7, 6, 5, 4, 3, 2, 1})},
      {V(int64_t{1}), B({0x04, 1, 0, 0, 0, 0, 0, 0, 0})},  // a small int64 stays int64
      {V(1.0), Cat({B({0x06, 0, 0, 0, 0, 0, 0, 0}), kOneF64})},
      {V("hi"), B({0x07, 0x02, 'h', 'i'})},
      {V("\xF0\x90\x8D\x88"), B({0x07, 0x04, 0xF0, 0x90, 0x8D, 0x88})},
      {V(std::vector<uint8_t>{1, 2, 3}), B({0x08, 0x03, 1, 2, 3})},
      {V(std::vector<int32_t>{1, -1}), B({0x09, 0x02, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF})},
      {V(std::vector<int64_t>{1}), B({0x0A, 0x01, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0})},
      {V(std::vector<double>{0.5}), B({0x0B, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0x3F})},
      {V(std::vector<float>{1.0f}), B({0x0E, 0x01, 0, 0, 0, 0, 0x80, 0x3F})},
      {V(std::vector<int32_t>{}), B({0x09, 0x00, 0, 0})},  // empty typed lists keep their padding
      {V(std::vector<double>{}), B({0x0B, 0x00, 0, 0, 0, 0, 0, 0})},
      {V(std::vector<uint8_t>{}), B({0x08, 0x00})},
      {List({V(1), V("a")}), B({0x0C, 0x02, 0x03, 1, 0, 0, 0, 0x07, 0x01, 'a'})},
      {Map({{V("k"), V(true)}}), B({0x0D, 0x01, 0x07, 0x01, 'k', 0x01})},
      {Map({{V("a"), V()}, {V(2), V()}}), B({0x0D, 0x02, 0x03, 2, 0, 0, 0, 0x00, 0x07, 0x01, 'a', 0x00})},
      {List({List({V(2.0)})}), B({0x0C, 0x01, 0x0C, 0x01, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40})},
  };
  for (const auto& [value, bytes] : cases) {
    SCOPED_TRACE(::testing::PrintToString(bytes));
    ExpectExactBytes(value, bytes);
  }
  // Invalid UTF-8 goes out repaired.
  EXPECT_EQ(EncodeMessage(V("a\xFF" "b")), B({0x07, 0x05, 'a', 0xEF, 0xBF, 0xBD, 'b'}));
  EXPECT_EQ(EncodeMessage(V("\xED\xA0\x80")), Cat({B({0x07, 0x09}), Text("\uFFFD\uFFFD\uFFFD")}));
}

// A string of `prefix` bytes in front shifts the next value: its padding counts from the message start.
TEST(StandardCodecTest, PaddingCountsFromMessageStart) {
  const Bytes kOneI32 = B({1, 0, 0, 0}), kOneI64 = B({1, 0, 0, 0, 0, 0, 0, 0}), kOneF32 = B({0, 0, 0x80, 0x3F});
  const struct {
    size_t prefix;
    V value;
    Bytes header;
    size_t padding;
    Bytes payload;
  } cases[] = {
      {3, V(1.0), B({0x06}), 0, kOneF64},
      {4, V(1.0), B({0x06}), 7, kOneF64},
      {2, V(std::vector<int32_t>{1}), B({0x09, 1}), 0, kOneI32},
      {3, V(std::vector<int32_t>{1}), B({0x09, 1}), 3, kOneI32},
      {3, V(std::vector<float>{1.0f}), B({0x0E, 1}), 3, kOneF32},
      {3, V(std::vector<int64_t>{1}), B({0x0A, 1}), 7, kOneI64},
      {1, V(std::vector<double>{1.0}), B({0x0B, 1}), 1, kOneF64},
      {1, V(1), B({0x03}), 0, kOneI32},
      {1, V(int64_t{1}), B({0x04}), 0, kOneI64},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.prefix);
    ExpectExactBytes(List({V(std::string(c.prefix, 'x')), c.value}),
                     Cat({B({0x0C, 0x02, 0x07, int(c.prefix)}), Bytes(c.prefix, 'x'), c.header, Bytes(c.padding, 0),
                          c.payload}));
  }
}

TEST(StandardCodecTest, SizesAndCountsShareOneForm) {
  const std::pair<size_t, Bytes> cases[] = {{0, B({0x00})},           {253, B({0xFD})},
                                            {254, B({0xFE, 0xFE, 0})}, {65535, B({0xFE, 0xFF, 0xFF})},
                                            {65536, B({0xFF, 0, 0, 1, 0})}};
  for (const auto& [size, prefix] : cases) {
    SCOPED_TRACE(size);
    EXPECT_EQ(EncodeMessage(V(std::string(size, 'z'))), Cat({B({0x07}), prefix, Bytes(size, 'z')}));
    ExpectExactBytes(V(std::vector<uint8_t>(size, 7)), Cat({B({0x08}), prefix, Bytes(size, 7)}));
    ExpectExactBytes(V(EncodableList(size, V())), Cat({B({0x0C}), prefix, Bytes(size, 0)}));
  }
}

// Forms other writers produce, which we read but never write.
TEST(StandardCodecTest, DecodesForeignForms) {
  const std::pair<Bytes, V> cases[] = {
      {B({0x07, 0xFE, 0x01, 0x00, 'a'}), V("a")},  // longer size forms than needed
      {B({0x07, 0xFF, 0x01, 0, 0, 0, 'a'}), V("a")},
      {B({0x05, 0x04, '1', '2', 'a', 'b'}), V("12ab")},  // a legacy large int reads as its text
      {B({0x0B, 0x00}), V(std::vector<double>{})},  // empty typed lists without padding
      {B({0x0C, 0x01, 0x0A, 0x00}), List({V(std::vector<int64_t>{})})},
      {B({0x0E, 0x00}), V(std::vector<float>{})},
  };
  for (const auto& [bytes, value] : cases) ExpectDecodes(bytes, value);
  for (const std::string text : {"\x7F", "\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEE\x80\x80",
                                 "\xEF\xBF\xBF", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF"}) {
    ExpectDecodes(Cat({B({0x07, int(text.size())}), Text(text)}), V(text));
  }
}

V Nested(int depth, bool maps) {
  V value(1);
  for (int i = 0; i < depth; ++i) value = maps ? Map({{V(), value}}) : List({value});
  return value;
}

TEST(StandardCodecTest, RoundTripsEveryKindOfValueUpToTheNestingCap) {
  const double doubles[] = {0.0, -0.0, 1e308, -4.9e-324, std::numeric_limits<double>::infinity()};
  EncodableList everything{
      V(), V(true), V(std::numeric_limits<int32_t>::min()), V(std::numeric_limits<int64_t>::max()),
      V(std::vector<double>(std::begin(doubles), std::end(doubles))), V("ключ \xF0\x9F\x94\x91"),
      V(std::vector<uint8_t>{0, 255}), V(std::vector<int32_t>{std::numeric_limits<int32_t>::max(), 0}),
      V(std::vector<int64_t>{std::numeric_limits<int64_t>::min()}), V(std::vector<float>{-1.5f, 3.25f, 0.0f}),
      Map({{List({V(1)}), V(2.5)}, {V(int64_t{7}), Map({})}, {V(), V("null key")}})};
  for (double d : doubles) everything.emplace_back(d);
  ExpectDecodes(EncodeMessage(V(everything)), V(everything));
  for (bool maps : {false, true}) {
    ExpectDecodes(EncodeMessage(Nested(kMaxNestingDepth, maps)), Nested(kMaxNestingDepth, maps));
    EXPECT_FALSE(DecodeMessage(EncodeMessage(Nested(kMaxNestingDepth + 1, maps))));
  }
}

V OneEntry(V key, V value) { return V(EncodableMap{{std::move(key), std::move(value)}}); }
V NestedKey(int leaf) {
  V key(leaf);
  for (int i = 0; i < kMaxNestingDepth - 2; ++i) key = OneEntry(std::move(key), V());
  return key;
}

TEST(EncodableValueLessTest, OrdersByAlternativeThenContentAndDeepKeysOnce) {
  const std::pair<V, V> cases[] = {  // smaller, larger
      {V(), V(false)},
      {V(100), V(int64_t{1})},
      {V("a"), V("b")},
      {V(std::vector<double>{1.0}), V(std::vector<double>{1.0, 0.0})},
      {List({V(1)}), List({V(1), V()})},
      {List({V(1), V(5)}), List({V(2)})},
      {OneEntry(V(1), V(9)), OneEntry(V(2), V(0))},
      {OneEntry(V(1), V(0)), OneEntry(V(1), V(9))},
      // Deep keys that are alike are walked once per level; asking both ways at each level never ends.
      {NestedKey(1), NestedKey(2)},
  };
  const EncodableValueLess less;
  for (const auto& [smaller, larger] : cases) {
    EXPECT_TRUE(less(smaller, larger));
    EXPECT_FALSE(less(larger, smaller));
    EXPECT_FALSE(less(smaller, smaller));
  }
  const V distinct(EncodableMap{{NestedKey(1), V(1)}, {NestedKey(2), V(2)}});
  ExpectDecodes(EncodeMessage(distinct), distinct);
}

TEST(MethodCodecTest, CallsEncodeToExactBytesAndDecodeBack) {
  const struct {
    std::string method;
    std::optional<V> arguments;
    Bytes bytes;
  } cases[] = {
      {"ping", std::nullopt, B({0x07, 0x04, 'p', 'i', 'n', 'g', 0x00})},
      {"x", Map({{V("a"), V(1)}}), B({0x07, 0x01, 'x', 0x0D, 0x01, 0x07, 0x01, 'a', 0x03, 1, 0, 0, 0})},
      {"f", V(1.0), Cat({B({0x07, 0x01, 'f', 0x06, 0, 0, 0, 0}), kOneF64})},  // padding counts the name
      {"", V(false), B({0x07, 0x00, 0x02})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method);
    EXPECT_EQ(EncodeMethodCall(c.arguments ? MethodCall(c.method, *c.arguments) : MethodCall(c.method)), c.bytes);
    auto decoded = DecodeMethodCall(c.bytes);
    ASSERT_TRUE(decoded) << decoded.error().description;
    EXPECT_EQ(decoded->method_name(), c.method);
    ASSERT_NE(decoded->arguments(), nullptr);
    EXPECT_TRUE(*decoded->arguments() == c.arguments.value_or(V()));
  }
  auto legacy = DecodeMethodCall(B({0x05, 0x01, 'f', 0x00}));  // a legacy large int name is a string
  ASSERT_TRUE(legacy);
  EXPECT_EQ(legacy->method_name(), "f");
}

TEST(MethodCodecTest, EnvelopesHaveExactBytesAndDecode) {
  const V ok("ok"), seven(7), half(0.5);
  EXPECT_EQ(EncodeSuccessEnvelope(), B({0x00, 0x00}));
  EXPECT_EQ(EncodeSuccessEnvelope(&ok), B({0x00, 0x07, 0x02, 'o', 'k'}));
  EXPECT_EQ(EncodeSuccessEnvelope(&half), B({0x00, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0x3F}));
  EXPECT_EQ(EncodeErrorEnvelope("E"), B({0x01, 0x07, 0x01, 'E', 0x00, 0x00}));
  EXPECT_EQ(EncodeErrorEnvelope("E", "m", &seven), B({0x01, 0x07, 0x01, 'E', 0x07, 0x01, 'm', 0x03, 7, 0, 0, 0}));
  EXPECT_EQ(EncodeErrorEnvelope(FlutterError{"E", "", seven}), B({0x01, 0x07, 0x01, 'E', 0x00, 0x03, 7, 0, 0, 0}));
  EXPECT_TRUE(EncodeNotImplementedEnvelope().empty());
  const FlutterError bare{"E", "", std::nullopt};
  const std::pair<Bytes, MethodReply> cases[] = {
      {B({}), NotImplementedReply{}},
      {B({0x00, 0x00}), SuccessReply{}},
      {B({0x00, 0x03, 5, 0, 0, 0}), SuccessReply{V(5)}},
      {B({0x01, 0x07, 0x01, 'E', 0x00, 0x00}), bare},
      {B({0x01, 0x07, 0x01, 'E', 0x07, 0x01, 'm', 0x01}), FlutterError{"E", "m", V(true)}},
      {B({0x01, 0x07, 0x01, 'E', 0x00, 0x00, 0x07, 0x02, 's', 't'}), bare},  // with a stack trace
      {B({0x01, 0x07, 0x01, 'E', 0x00, 0x00, 0x00}), bare},                  // with a null stack trace
  };
  for (const auto& [bytes, reply] : cases) {
    auto decoded = DecodeEnvelope(bytes);
    ASSERT_TRUE(decoded) << decoded.error().description;
    EXPECT_TRUE(*decoded == reply) << bytes.size();
  }
  for (const MethodReply& reply : {MethodReply(SuccessReply{V(std::vector<double>{1.5})}),
                                   MethodReply(FlutterError{"code", "message", Map({{V("k"), V(2.0)}})}),
                                   MethodReply(FlutterError{"code", "", std::nullopt})}) {
    auto decoded = DecodeEnvelope(EncodeReply(reply));
    ASSERT_TRUE(decoded) << decoded.error().description;
    EXPECT_TRUE(*decoded == reply);
  }
}

}  // namespace
}  // namespace tavlune::channel
