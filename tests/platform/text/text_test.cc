#include <gtest/gtest.h>

#include "platform/text/base64.h"
#include "platform/text/trim.h"
#include "platform/text/utf8.h"

namespace tavlune::strings {
namespace {
using namespace tavlune::platform::text;

TEST(Trim, UnicodeWhiteSpaceAndLineBreaks) {
  struct Case {
    std::string in;
    std::string both;        // white space and line breaks trimmed
    std::string spacesOnly;  // white space only
  };
  const Case cases[] = {
      {"", "", ""},
      {"  a b  ", "a b", "a b"},
      {"\t\n\r\v\fx\n", "x", "\n\r\v\fx\n"},
      {"\u00a0\u2003x\u3000", "x", "x"},
      {"\u2028x\u2029\u0085", "x", "\u2028x\u2029\u0085"},
      {"\u200bx", "\u200bx", "\u200bx"},  // zero-width space is not white space
      {"é ", "é", "é"},
      {" \xff ", "\xff", "\xff"},  // malformed bytes stay and stop the trim
      {"   ", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(trimWhitespaceAndNewlines(c.in), c.both) << c.in;
    EXPECT_EQ(trimWhitespace(c.in), c.spacesOnly) << c.in;
  }
}

TEST(Utf8, Validity) {
  EXPECT_TRUE(isValidUtf8("plain é 中 😀"));
  for (const char* bad : {"\xff", "\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xc3", "\xf5",
                          "\x80", "\xe2\x28\xa1"})
    EXPECT_FALSE(isValidUtf8(bad)) << bad;
}

TEST(Base64, RoundTripsAndKnownVectors) {
  const std::pair<std::string, std::string> vectors[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"\xff\xfe\xfd", "//79"}};
  for (const auto& [plain, encoded] : vectors) {
    EXPECT_EQ(base64Encode(plain), encoded);
    auto decoded = base64Decode(encoded);
    ASSERT_TRUE(decoded.has_value()) << encoded;
    EXPECT_EQ(std::string(decoded->begin(), decoded->end()), plain);
  }
}

TEST(Base64, DecodingIsStrict) {
  for (const char* bad : {"Zg", "Zg=", "Zm9v\n", " Zm9v", "Zm-v", "Zm_v", "Z===", "=Zg=", "Zh==", "Zm9=Zm9v"})
    EXPECT_FALSE(base64Decode(bad).has_value()) << bad;
}

}  // namespace
}  // namespace tavlune::strings
