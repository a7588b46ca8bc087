// Malformed bytes decode to an error: no crash, no over-read (the sanitizer build checks that), and no
// allocation sized by an untrusted count, watched through operator new (AddressSanitizer owns it there).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "channel/standard_codec.h"
#include "tests/channel/test_bytes.h"

#if defined(__SANITIZE_ADDRESS__)
#define CHANNEL_TEST_OWNS_NEW 0
#elif defined(__has_feature)
#define CHANNEL_TEST_OWNS_NEW !__has_feature(address_sanitizer)
#else
#define CHANNEL_TEST_OWNS_NEW 1
#endif

namespace {
std::atomic<bool> g_watching{false};
std::atomic<size_t> g_largest{0};
}  // namespace

#if CHANNEL_TEST_OWNS_NEW
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // malloc and free belong together here
#endif
void* operator new(std::size_t size) {
  if (g_watching.load(std::memory_order_relaxed) && size > g_largest.load(std::memory_order_relaxed)) g_largest = size;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace tavlune::channel {
namespace {

using namespace testing;
enum Decoder { M, C, E };  // message, method call, envelope

bool Decodes(Decoder decoder, std::span<const uint8_t> bytes) {
  g_largest = 0;
  g_watching = true;
  const bool decoded = decoder == M   ? DecodeMessage(bytes).has_value()
                       : decoder == C ? DecodeMethodCall(bytes).has_value()
                                      : DecodeEnvelope(bytes).has_value();
  g_watching = false;
  EXPECT_LT(CHANNEL_TEST_OWNS_NEW ? g_largest.load() : 0, 1024u);
  return decoded;
}

// Truncations are EveryTruncationIsAnError's. Rows "huge_*" carry counts of 2^32-1 or 2^28-1.
TEST(MalformedTest, IsAnErrorAndAllocatesNothingLarge) {
  const struct {
    const char* name;
    Decoder decoder;
    Bytes bytes;
  } cases[] = {
      {"unknown_type_15", M, B({0x0F})},
      {"unknown_type_255", M, B({0xFF})},
      {"float64_padding_past_end", M, B({0x06, 0, 0})},
      {"size_uint32_truncated", M, B({0x07, 0xFF, 0x01, 0x00, 0x00})},
      {"large_int_past_end", M, B({0x05, 0x02, '1'})},
      {"int32_list_padding_past_end", M, B({0x09, 0x01, 0})},
      {"empty_typed_list_then_garbage_padding", M, B({0x0B, 0x00, 0, 0, 0})},
      {"map_duplicate_key", M, B({0x0D, 0x02, 0x07, 0x01, 'a', 0x00, 0x07, 0x01, 'a', 0x01})},
      {"trailing_byte", M, B({0x00, 0x00})},
      {"trailing_after_int32", M, B({0x03, 1, 0, 0, 0, 0xFF})},
      {"huge_string", M, B({0x07, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'})},
      {"huge_bytes", M, B({0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 1, 2})},
      {"huge_int32_list", M, B({0x09, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0, 0, 1, 2, 3, 4})},
      {"huge_int64_list", M, Cat({B({0x0A, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}), Bytes(8, 1)})},
      {"huge_float64_list", M, Cat({B({0x0B, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0, 0}), Bytes(8, 1)})},
      {"huge_float32_list", M, B({0x0E, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 1, 2, 3, 4})},
      {"huge_list", M, B({0x0C, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x00, 0x00})},
      {"huge_list_uint16", M, B({0x0C, 0xFE, 0xFF, 0xFF, 0x00, 0x00})},
      {"huge_map", M, B({0x0D, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00})},
      {"huge_nested_list", M, B({0x0C, 0x01, 0x0C, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00})},
      {"utf8_overlong", M, B({0x07, 0x02, 0xC0, 0x80})},
      {"utf8_in_large_int", M, B({0x05, 0x01, 0xFF})},
      {"utf8_in_map_key", M, B({0x0D, 0x01, 0x07, 0x01, 0xFE, 0x00})},
      {"call_name_not_string", C, B({0x03, 1, 0, 0, 0, 0x00})},
      {"call_name_null", C, B({0x00, 0x00})},
      {"call_trailing", C, B({0x07, 0x01, 'a', 0x00, 0x00})},
      {"call_name_bad_utf8", C, B({0x07, 0x01, 0xC3, 0x00})},
      {"envelope_unknown_flag", E, B({0x02, 0x00})},
      {"success_trailing", E, B({0x00, 0x00, 0x00})},
      {"error_code_not_string", E, B({0x01, 0x00, 0x00, 0x00})},
      {"error_message_not_string", E, B({0x01, 0x07, 0x01, 'E', 0x03, 1, 0, 0, 0, 0x00})},
      {"error_stacktrace_not_string", E, B({0x01, 0x07, 0x01, 'E', 0x00, 0x00, 0x03, 1, 0, 0, 0})},
      {"error_trailing_after_stacktrace", E, B({0x01, 0x07, 0x01, 'E', 0x00, 0x00, 0x00, 0x00})},  };
  for (const auto& c : cases) EXPECT_FALSE(Decodes(c.decoder, c.bytes)) << c.name;
}

// Every strict prefix of a complete message holding every kind of value is incomplete.
TEST(MalformedTest, EveryTruncationIsAnError) {
  using V = EncodableValue;
  const V details(EncodableMap{
      {V("list"), V(EncodableList{V(1.5), V(int64_t{9})})},
      {V("ints"), V(std::vector<int32_t>{1, 2, 3})},
      {V("floats"), V(std::vector<float>{0.25f})},
      {V(7), V(std::string(300, 'q'))},  // a size in three bytes
      {V("more"), V(EncodableList{V(std::vector<uint8_t>{1, 2}), V(std::vector<double>{0.5}),
                                  V(std::vector<int64_t>{3}), V(true), V()})}});
  const std::pair<Decoder, Bytes> wholes[] = {{M, EncodeMessage(details)},
                                              {C, EncodeMethodCall(MethodCall("connect", details))},
                                              {E, EncodeSuccessEnvelope(&details)},
                                              {E, EncodeErrorEnvelope("code", "message", &details)}};
  for (const auto& [decoder, bytes] : wholes) {
    ASSERT_TRUE(Decodes(decoder, bytes));
    // An empty envelope is a valid "not implemented".
    for (size_t size = decoder == E ? 1 : 0; size < bytes.size(); ++size) {
      EXPECT_FALSE(Decodes(decoder, std::span(bytes).first(size))) << size;
    }
  }
}

}  // namespace
}  // namespace tavlune::channel
