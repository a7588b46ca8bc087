#include "helperd/uid_argument.h"

#include <gtest/gtest.h>

namespace tavlune::helperd {
namespace {

TEST(UidArgument, Parsing) {
  const std::optional<uint32_t> none;
  for (const auto& [text, expected] : std::vector<std::pair<const char*, std::optional<uint32_t>>>{
           {"501", 501u}, {"+501", 501u}, {"0", 0u}, {"-0", 0u}, {"000501", 501u}, {"4294967295", 4294967295u},
           {"4294967296", none}, {"99999999999999999999", none}, {"-1", none}, {"", none}, {"+", none},
           {"++1", none}, {"+-0", none}, {" 501", none}, {"501 ", none}, {"0x1f5", none}, {"5\xd9\xa1", none}})
    EXPECT_EQ(parseUid(text), expected) << text;
}

TEST(UidArgument, FromTheProcessArguments) {
  for (const auto& [argv, expected] : std::vector<std::pair<std::vector<const char*>, uint32_t>>{
           {{"helper"}, kNoUser}, {{"helper", "--uid"}, kNoUser}, {{"helper", "--uid", "501"}, 501u},
           {{"helper", "--uid", "501", "--uid", "502"}, 501u}, {{"helper", "--uid", "letters", "--uid", "502"}, kNoUser},
           {{"helper", "--uid", "-5"}, kNoUser}, {{"--uid", "77"}, 77u},  // the program path is searched too
           {{"helper", "--uid=501"}, kNoUser}, {{"helper", "x", "--uid", "--uid", "3"}, kNoUser}})
    EXPECT_EQ(allowedUidFromArguments(static_cast<int>(argv.size()), argv.data()), expected) << argv.back();
}

}  // namespace
}  // namespace tavlune::helperd
