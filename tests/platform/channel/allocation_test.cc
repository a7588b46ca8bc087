// A size field is untrusted: it must be checked against the bytes that are
// actually there before anything is reserved for it. Watched by replacing the
// global operator new, so not under AddressSanitizer, which owns it there.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "platform/channel/standard_codec.h"
#include "tests/platform/channel/test_bytes.h"

#if defined(__SANITIZE_ADDRESS__)
#define CHANNEL_TEST_OWNS_NEW 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CHANNEL_TEST_OWNS_NEW 0
#endif
#endif
#ifndef CHANNEL_TEST_OWNS_NEW
#define CHANNEL_TEST_OWNS_NEW 1
#endif

namespace {
std::atomic<bool> g_watching{false};
std::atomic<size_t> g_largest{0};
}  // namespace

#if CHANNEL_TEST_OWNS_NEW
// The replacement pairs malloc with free; gcc cannot see that they belong together.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
  if (g_watching.load(std::memory_order_relaxed) && size > g_largest.load(std::memory_order_relaxed)) {
    g_largest.store(size, std::memory_order_relaxed);
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace tavlune::channel {
namespace {

using testing::B;
using testing::Bytes;

struct HostileCase {
  const char* name;
  Bytes bytes;
};

class AllocationTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(AllocationTest, HugeCountAllocatesNothingLarge) {
  if (!CHANNEL_TEST_OWNS_NEW) GTEST_SKIP() << "operator new belongs to the sanitizer";
  g_largest = 0;
  g_watching = true;
  const bool decoded = DecodeMessage(GetParam().bytes).has_value();
  g_watching = false;
  EXPECT_FALSE(decoded);
  EXPECT_LT(g_largest.load(), 1024u);
}

// Counts of 2^32-1 and 2^28-1, each followed by a few bytes of data.
INSTANTIATE_TEST_SUITE_P(
    Channel, AllocationTest,
    ::testing::Values(HostileCase{"string", B({0x07, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'})},
                      HostileCase{"bytes", B({0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 1, 2})},
                      HostileCase{"int32_list", B({0x09, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0, 0, 1, 2, 3, 4})},
                      HostileCase{"int64_list", B({0x0A, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8})},
                      HostileCase{"float64_list", B({0x0B, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8})},
                      HostileCase{"float32_list", B({0x0E, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 1, 2, 3, 4})},
                      HostileCase{"list", B({0x0C, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x00, 0x00})},
                      HostileCase{"list_uint16", B({0x0C, 0xFE, 0xFF, 0xFF, 0x00, 0x00})},
                      HostileCase{"map", B({0x0D, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00})},
                      HostileCase{"nested_list", B({0x0C, 0x01, 0x0C, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00})}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavlune::channel
