#include "helperd/uid_argument.h"

#include <vector>

#include <gtest/gtest.h>

namespace tavlune::helperd {
namespace {

TEST(UidArgument, Parsing) {
  struct Case {
    const char* text;
    std::optional<uint32_t> expected;
  };
  for (const Case& c : std::vector<Case>{{"501", 501u},
                                         {"+501", 501u},
                                         {"0", 0u},
                                         {"-0", 0u},
                                         {"+0", 0u},
                                         {"000501", 501u},
                                         {"4294967295", 4294967295u},
                                         {"4294967296", std::nullopt},
                                         {"99999999999999999999", std::nullopt},
                                         {"-1", std::nullopt},
                                         {"-501", std::nullopt},
                                         {"", std::nullopt},
                                         {"+", std::nullopt},
                                         {"-", std::nullopt},
                                         {"++1", std::nullopt},
                                         {"+-0", std::nullopt},
                                         {" 501", std::nullopt},
                                         {"501 ", std::nullopt},
                                         {"0x1f5", std::nullopt},
                                         {"abc", std::nullopt},
                                         {"5\xd9\xa1", std::nullopt}}) {
    EXPECT_EQ(parseUid(c.text), c.expected) << c.text;
  }
}

TEST(UidArgument, FromTheProcessArguments) {
  struct Case {
    std::vector<const char*> argv;
    uint32_t expected;
  };
  for (const Case& c : std::vector<Case>{
           {{"helper"}, kNoUser},
           {{"helper", "--uid"}, kNoUser},
           {{"helper", "--uid", "501"}, 501u},
           {{"helper", "--uid", "+501"}, 501u},
           {{"helper", "--uid", "501", "--uid", "502"}, 501u},
           {{"helper", "--uid", "letters", "--uid", "502"}, kNoUser},
           {{"helper", "--uid", "-5"}, kNoUser},
           {{"helper", "--uid", "4294967296"}, kNoUser},
           {{"--uid", "77"}, 77u},  // the program path is searched too
           {{"helper", "--uid=501"}, kNoUser},
           {{"helper", "x", "--uid", "--uid", "3"}, kNoUser},
       }) {
    EXPECT_EQ(allowedUidFromArguments(static_cast<int>(c.argv.size()), c.argv.data()), c.expected);
  }
}

}  // namespace
}  // namespace tavlune::helperd
