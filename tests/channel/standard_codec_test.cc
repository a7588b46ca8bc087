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
const Bytes kOneF64 = B({0, 0, 0, 0, 0, 0, 0xF0, 0x3F});

TEST(StandardCodecTest, ValuesEncodeToExactBytesAndDecodeBack) {
  const std::pair<V, Bytes> cases[] = {
      {V(), B({0x00})},
      {V(true), B({0x01})},
      {V(int32_t{-2}), B({0x03, 0xFE, 0xFF, 0xFF, 0xFF})},
      {V(int64_t{0x0102030405060708}), B({0x04, 8, 7, 6, 5, 4, 3, 2, 1})},
      {V(int64_t{1}), B({0x04, 1, 0, 0, 0, 0, 0, 0, 0})},  // a small int64 stays int64
      {V(1.0), Cat({B({0x06, 0, 0, 0, 0, 0, 0, 0}), kOneF64})},
      {V("hi"), B({0x07, 0x02, 'h', 'i'})},
      {V("\xF0\x90\x8D\x88"), B({0x07, 0x04, 0xF0, 0x90, 0x8D, 0x88})},
      {V(std::string(253, 'z')), Cat({B({0x07, 0xFD}), Bytes(253, 'z')})},  // sizes and counts share one form
      {V(std::string(254, 'z')), Cat({B({0x07, 0xFE, 0xFE, 0}), Bytes(254, 'z')})},
      {V(EncodableList(65536, V())), Cat({B({0x0C, 0xFF, 0, 0, 1, 0}), Bytes(65536, 0)})},
      {V(std::vector<uint8_t>{1, 2, 3}), B({0x08, 0x03, 1, 2, 3})},
      {V(std::vector<int32_t>{1, -1}), B({0x09, 0x02, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF})},
      {V(std::vector<double>{0.5}), B({0x0B, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0x3F})},
      {V(std::vector<float>{1.0f}), B({0x0E, 0x01, 0, 0, 0, 0, 0x80, 0x3F})},
      {V(std::vector<double>{}), B({0x0B, 0x00, 0, 0, 0, 0, 0, 0})},  // empty typed lists keep their padding
      {List({V(1), V("a")}), B({0x0C, 0x02, 0x03, 1, 0, 0, 0, 0x07, 0x01, 'a'})},
      {Map({{V("b"), V()}, {V("a"), V()}, {V(2), V(true)}}), B({0x0D, 3, 0x03, 2, 0, 0, 0, 1, 7, 1, 'a', 0, 7, 1, 'b', 0})},
      {List({List({V(2.0)})}), B({0x0C, 0x01, 0x0C, 0x01, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40})},
  };
  for (const auto& [value, bytes] : cases) {
    EXPECT_EQ(EncodeMessage(value), bytes);
    ExpectDecodes(bytes, value);
  }
  // Invalid UTF-8 goes out repaired.
  EXPECT_EQ(EncodeMessage(V("a\xFF" "b")), B({0x07, 0x05, 'a', 0xEF, 0xBF, 0xBD, 'b'}));
  EXPECT_EQ(EncodeMessage(V("\xED\xA0\x80")), Cat({B({0x07, 0x09}), Text("\uFFFD\uFFFD\uFFFD")}));
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
}

V Nested(int depth, bool maps, int leaf = 1) {
  V value(leaf);
  for (int i = 0; i < depth; ++i) value = maps ? Map({{V(), value}}) : List({value});
  return value;
}

// Deep map keys alike down to their leaves are compared once per level, not both ways at each.
TEST(StandardCodecTest, RoundTripsEveryKindOfValueUpToTheNestingCap) {
  const double doubles[] = {0.0, -0.0, 1e308, -4.9e-324, std::numeric_limits<double>::infinity()};
  EncodableList everything{
      V(), V(true), V(std::numeric_limits<int32_t>::min()), V(std::numeric_limits<int64_t>::max()),
      V(std::vector<double>(std::begin(doubles), std::end(doubles))), V("ключ \xF0\x9F\x94\x91"),
      V(std::vector<uint8_t>{0, 255}), V(std::vector<int32_t>{std::numeric_limits<int32_t>::max(), 0}),
      V(std::vector<int64_t>{std::numeric_limits<int64_t>::min()}), V(std::vector<float>{-1.5f, 3.25f, 0.0f}),
      Map({{List({V(1)}), V(2.5)}, {V(int64_t{7}), Map({})}, {V(), V("null key")}}),
      Map({{Nested(kMaxNestingDepth - 2, true, 1), V(1)}, {Nested(kMaxNestingDepth - 2, true, 2), V(2)}})};
  for (double d : doubles) everything.emplace_back(d);
  ExpectDecodes(EncodeMessage(V(everything)), V(everything));
  for (bool maps : {false, true}) {
    ExpectDecodes(EncodeMessage(Nested(kMaxNestingDepth, maps)), Nested(kMaxNestingDepth, maps));
    EXPECT_FALSE(DecodeMessage(EncodeMessage(Nested(kMaxNestingDepth + 1, maps))));
  }
}

TEST(MethodCodecTest, CallsAndEnvelopesHaveExactBytesAndDecode) {
  const std::tuple<std::string, V, Bytes> calls[] = {
      {"ping", V(), B({0x07, 0x04, 'p', 'i', 'n', 'g', 0x00})},
      {"f", V(1.0), Cat({B({0x07, 0x01, 'f', 0x06, 0, 0, 0, 0}), kOneF64})},  // padding counts the name
      {"", V(false), B({0x07, 0x00, 0x02})},
  };
  for (const auto& [method, arguments, bytes] : calls) {
    EXPECT_EQ(EncodeMethodCall(MethodCall(method, arguments)), bytes);
    auto decoded = DecodeMethodCall(bytes);
    ASSERT_TRUE(decoded) << decoded.error().description;
    EXPECT_EQ(decoded->method_name(), method);
    EXPECT_TRUE(*decoded->arguments() == arguments);
  }
  EXPECT_EQ(DecodeMethodCall(B({0x05, 0x01, 'f', 0x00}))->method_name(), "f");  // a legacy large int name
  const V seven(7);
  EXPECT_EQ(EncodeErrorEnvelope("E", "m", &seven), B({0x01, 0x07, 0x01, 'E', 0x07, 0x01, 'm', 0x03, 7, 0, 0, 0}));
  const FlutterError bare{"E", "", std::nullopt};
  const std::tuple<Bytes, MethodReply, bool> replies[] = {  // bytes, reply, whether we write it so
      {B({}), NotImplementedReply{}, true},
      {B({0x00, 0x00}), SuccessReply{}, true},
      {B({0x00, 0x03, 5, 0, 0, 0}), SuccessReply{V(5)}, true},
      {B({0x01, 0x07, 0x01, 'E', 0x00, 0x00}), bare, true},
      {B({0x01, 0x07, 0x01, 'E', 0x07, 0x01, 'm', 0x01}), FlutterError{"E", "m", V(true)}, true},
      {B({0x01, 0x07, 0x01, 'E', 0x00, 0x03, 7, 0, 0, 0}), FlutterError{"E", "", seven}, true},
      {B({0x01, 0x07, 0x01, 'E', 0x00, 0x00, 0x07, 0x02, 's', 't'}), bare, false},  // with a stack trace
      {B({0x01, 0x07, 0x01, 'E', 0x00, 0x00, 0x00}), bare, false},                  // with a null stack trace
  };
  for (const auto& [bytes, reply, written] : replies) {
    EXPECT_TRUE(DecodeEnvelope(bytes).value() == reply) << bytes.size();
    EXPECT_EQ(EncodeReply(reply) == bytes, written) << bytes.size();
  }
}

enum Decoder { M, C, E };  // message, method call, envelope
bool Decodes(Decoder decoder, std::span<const uint8_t> bytes) {
  return decoder == M ? DecodeMessage(bytes).has_value()
                      : decoder == C ? DecodeMethodCall(bytes).has_value() : DecodeEnvelope(bytes).has_value();
}

// Malformed bytes are an error, never a crash (the fuzzer tries those): here every strict prefix of a
// complete message holding every kind of value.
TEST(MalformedTest, EveryTruncationIsAnError) {
  const V details = Map({{V("list"), List({V(1.5), V(int64_t{9})})}, {V("ints"), V(std::vector<int32_t>{1, 2, 3})},
                         {V("floats"), V(std::vector<float>{0.25f})}, {V(7), V(std::string(300, 'q'))},
                         {V("more"), List({V(std::vector<uint8_t>{1, 2}), V(std::vector<double>{0.5}),
                                           V(std::vector<int64_t>{3}), V(true), V()})}});
  const std::pair<Decoder, Bytes> wholes[] = {{M, EncodeMessage(details)},
                                              {C, EncodeMethodCall(MethodCall("connect", details))},
                                              {E, EncodeSuccessEnvelope(&details)},
                                              {E, EncodeErrorEnvelope("code", "message", &details)}};
  const std::pair<Decoder, Bytes> malformed[] = {
      {M, B({0x0F})},                                                  // unknown type
      {M, B({0x0D, 0x02, 0x07, 0x01, 'a', 0x00, 0x07, 0x01, 'a', 0x01})},  // a key twice
      {M, B({0x00, 0x00})},                                            // trailing byte
      {M, B({0x07, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'})},          // count past the end
      {M, B({0x07, 0x02, 0xC0, 0x80})},                                // overlong UTF-8
      {C, B({0x03, 1, 0, 0, 0, 0x00})},                                // method name not a string
      {C, B({0x07, 0x01, 'a', 0x00, 0x00})},
      {E, B({0x02, 0x00})},                                            // unknown envelope flag
      {E, B({0x00, 0x00, 0x00})},
      {E, B({0x01, 0x00, 0x00, 0x00})},                                // error code not a string
      {E, B({0x01, 0x07, 0x01, 'E', 0x00, 0x00, 0x00, 0x00})},
  };
  for (const auto& [decoder, bytes] : malformed) EXPECT_FALSE(Decodes(decoder, bytes)) << ::testing::PrintToString(bytes);
  for (const auto& [decoder, bytes] : wholes) {
    ASSERT_TRUE(Decodes(decoder, bytes));
    // An empty envelope is a valid "not implemented".
    for (size_t size = decoder == E; size < bytes.size(); ++size) EXPECT_FALSE(Decodes(decoder, std::span(bytes).first(size))) << size;
  }
}

}  // namespace
}  // namespace tavlune::channel
