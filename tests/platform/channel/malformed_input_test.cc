// Malformed bytes must decode to an error: no crash, no over-read (the sanitizer
// build checks that), no allocation sized by an untrusted count.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/channel/standard_codec.h"
#include "tests/platform/channel/test_bytes.h"

namespace tavlune::channel {
namespace {

using testing::B;
using testing::Bytes;
using testing::Cat;

enum class Decoder { kMessage, kMethodCall, kEnvelope };

struct MalformedCase {
  const char* name;
  Decoder decoder;
  Bytes bytes;
};

bool Decodes(Decoder decoder, std::span<const uint8_t> bytes) {
  switch (decoder) {
    case Decoder::kMessage:
      return DecodeMessage(bytes).has_value();
    case Decoder::kMethodCall:
      return DecodeMethodCall(bytes).has_value();
    case Decoder::kEnvelope:
      return DecodeEnvelope(bytes).has_value();
  }
  return true;
}

Bytes NestedLists(int depth) {
  Bytes bytes;
  for (int i = 0; i < depth; ++i) bytes.insert(bytes.end(), {0x0C, 0x01});
  bytes.push_back(0x00);
  return bytes;
}

class MalformedTest : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedTest, IsAnError) {
  const auto& c = GetParam();
  EXPECT_FALSE(Decodes(c.decoder, c.bytes));
}

constexpr Decoder M = Decoder::kMessage;
constexpr Decoder C = Decoder::kMethodCall;
constexpr Decoder E = Decoder::kEnvelope;

INSTANTIATE_TEST_SUITE_P(
    Channel, MalformedTest,
    ::testing::Values(
        MalformedCase{"empty_message", M, B({})},
        MalformedCase{"unknown_type_15", M, B({0x0F})},
        MalformedCase{"unknown_type_255", M, B({0xFF})},
        MalformedCase{"int32_truncated", M, B({0x03, 1, 2})},
        MalformedCase{"int64_truncated", M, B({0x04, 1, 2, 3, 4, 5, 6, 7})},
        MalformedCase{"float64_padding_past_end", M, B({0x06, 0, 0})},
        MalformedCase{"float64_truncated", M, B({0x06, 0, 0, 0, 0, 0, 0, 0, 1, 2})},
        MalformedCase{"size_uint16_truncated", M, B({0x07, 0xFE, 0x01})},
        MalformedCase{"size_uint32_truncated", M, B({0x07, 0xFF, 0x01, 0x00, 0x00})},
        MalformedCase{"string_past_end", M, B({0x07, 0x05, 'a'})},
        MalformedCase{"large_int_past_end", M, B({0x05, 0x02, '1'})},
        MalformedCase{"bytes_past_end", M, B({0x08, 0x03, 1, 2})},
        MalformedCase{"bytes_huge_count", M, B({0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1})},
        MalformedCase{"int32_list_data_short", M, B({0x09, 0x02, 0, 0, 1, 0, 0, 0})},
        MalformedCase{"int32_list_padding_past_end", M, B({0x09, 0x01, 0})},
        MalformedCase{"int64_list_huge_count", M, Cat({B({0x0A, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F}), Bytes(10, 0)})},
        MalformedCase{"float64_list_data_short", M, B({0x0B, 0x01, 0, 0, 0, 0, 0, 0, 1})},
        MalformedCase{"float32_list_data_short", M, B({0x0E, 0x02, 0, 0, 1, 2, 3, 4})},
        MalformedCase{"empty_typed_list_then_garbage_padding", M, B({0x0B, 0x00, 0, 0, 0})},
        MalformedCase{"list_count_past_end", M, B({0x0C, 0x03, 0x00, 0x00})},
        MalformedCase{"list_huge_count", M, B({0x0C, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x00})},
        MalformedCase{"map_count_past_end", M, B({0x0D, 0x02, 0x00, 0x00, 0x00})},
        MalformedCase{"map_huge_count", M, B({0x0D, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x00, 0x00})},
        MalformedCase{"map_key_without_value", M, B({0x0D, 0x01, 0x00})},
        MalformedCase{"map_duplicate_key", M, B({0x0D, 0x02, 0x07, 0x01, 'a', 0x00, 0x07, 0x01, 'a', 0x01})},
        MalformedCase{"trailing_byte", M, B({0x00, 0x00})},
        MalformedCase{"trailing_after_int32", M, B({0x03, 1, 0, 0, 0, 0xFF})},
        MalformedCase{"nested_too_deep", M, NestedLists(kMaxNestingDepth + 1)},
        MalformedCase{"utf8_overlong", M, B({0x07, 0x02, 0xC0, 0x80})},
        MalformedCase{"utf8_overlong_3", M, B({0x07, 0x03, 0xE0, 0x80, 0x80})},
        MalformedCase{"utf8_surrogate", M, B({0x07, 0x03, 0xED, 0xA0, 0x80})},
        MalformedCase{"utf8_past_max", M, B({0x07, 0x04, 0xF4, 0x90, 0x80, 0x80})},
        MalformedCase{"utf8_f5", M, B({0x07, 0x01, 0xF5})},
        MalformedCase{"utf8_lone_continuation", M, B({0x07, 0x01, 0x80})},
        MalformedCase{"utf8_truncated_sequence", M, B({0x07, 0x02, 0xE2, 0x82})},
        MalformedCase{"utf8_bad_continuation", M, B({0x07, 0x03, 0xE2, 0x28, 0xA1})},
        MalformedCase{"utf8_in_large_int", M, B({0x05, 0x01, 0xFF})},
        MalformedCase{"utf8_in_map_key", M, B({0x0D, 0x01, 0x07, 0x01, 0xFE, 0x00})},
        MalformedCase{"call_empty", C, B({})},
        MalformedCase{"call_name_not_string", C, B({0x03, 1, 0, 0, 0, 0x00})},
        MalformedCase{"call_name_null", C, B({0x00, 0x00})},
        MalformedCase{"call_missing_arguments", C, B({0x07, 0x01, 'a'})},
        MalformedCase{"call_trailing", C, B({0x07, 0x01, 'a', 0x00, 0x00})},
        MalformedCase{"call_name_bad_utf8", C, B({0x07, 0x01, 0xC3, 0x00})},
        MalformedCase{"call_arguments_truncated", C, B({0x07, 0x01, 'a', 0x0C, 0x02, 0x00})},
        MalformedCase{"envelope_unknown_flag", E, B({0x02, 0x00})},
        MalformedCase{"success_missing_value", E, B({0x00})},
        MalformedCase{"success_trailing", E, B({0x00, 0x00, 0x00})},
        MalformedCase{"error_missing_code", E, B({0x01})},
        MalformedCase{"error_code_not_string", E, B({0x01, 0x00, 0x00, 0x00})},
        MalformedCase{"error_message_not_string", E, B({0x01, 0x07, 0x01, 'E', 0x03, 1, 0, 0, 0, 0x00})},
        MalformedCase{"error_missing_details", E, B({0x01, 0x07, 0x01, 'E', 0x00})},
        MalformedCase{"error_stacktrace_not_string", E, B({0x01, 0x07, 0x01, 'E', 0x00, 0x00, 0x03, 1, 0, 0, 0})},
        MalformedCase{"error_trailing_after_stacktrace", E, B({0x01, 0x07, 0x01, 'E', 0x00, 0x00, 0x00, 0x00})}),
    [](const auto& info) { return std::string(info.param.name); });

// Every strict prefix of a complete message is incomplete.
TEST(MalformedPrefixTest, EveryTruncationIsAnError) {
  EncodableMap map;
  map.emplace(EncodableValue("list"), EncodableValue(EncodableList{EncodableValue(1.5), EncodableValue(int64_t{9})}));
  map.emplace(EncodableValue("ints"), EncodableValue(std::vector<int32_t>{1, 2, 3}));
  map.emplace(EncodableValue("floats"), EncodableValue(std::vector<float>{0.25f}));
  map.emplace(EncodableValue(7), EncodableValue(std::string(300, 'q')));
  const MethodCall call("connect", EncodableValue(map));
  const EncodableValue details(map);

  struct Whole {
    Decoder decoder;
    Bytes bytes;
  };
  for (const auto& whole : {Whole{M, EncodeMessage(EncodableValue(map))}, Whole{C, EncodeMethodCall(call)},
                            Whole{E, EncodeSuccessEnvelope(&details)},
                            Whole{E, EncodeErrorEnvelope("code", "message", &details)}}) {
    ASSERT_TRUE(Decodes(whole.decoder, whole.bytes));
    // An empty envelope is a valid "not implemented", so envelopes start at one byte.
    for (size_t size = whole.decoder == E ? 1 : 0; size < whole.bytes.size(); ++size) {
      EXPECT_FALSE(Decodes(whole.decoder, std::span(whole.bytes).first(size))) << "prefix of " << size << " bytes";
    }
  }
}

}  // namespace
}  // namespace tavlune::channel
