#include <gtest/gtest.h>

#include "platform/text/base64.h"
#include "platform/text/trim.h"
#include "platform/text/utf8.h"

namespace tavlune::platform::text {
namespace {

TEST(Trim, UnicodeWhiteSpaceAndLineBreaks) {
  const std::tuple<std::string, std::string, std::string> cases[] = {  // text, trimmed, white space only trimmed
      {"", "", ""},
      {"  a b  ", "a b", "a b"},
      {"\t\n\r\v\fx\n", "x", "\n\r\v\fx\n"},
      {"\u00a0\u2003x\u3000", "x", "x"},
      {"\u2028x\u2029\u0085", "x", "\u2028x\u2029\u0085"},
      {"\u200bx", "\u200bx", "\u200bx"},  // zero-width space is not white space
      {" \xff ", "\xff", "\xff"},  // malformed bytes stay and stop the trim
  };
  for (const auto& [in, both, spacesOnly] : cases) {
    EXPECT_EQ(trimWhitespaceAndNewlines(in), both) << in;
    EXPECT_EQ(trimWhitespace(in), spacesOnly) << in;
  }
}

TEST(Utf8AndBase64, ValidityAndStrictDecoding) {
  EXPECT_TRUE(isValidUtf8("plain é 中 😀 \x7F\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF4\x8F\xBF\xBF"));  // the edges
  for (const char* bad : {"\xff", "\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xc3", "\xf5", "\x80", "\xe2\x28\xa1"})
    EXPECT_FALSE(isValidUtf8(bad)) << bad;
  for (const auto& [plain, encoded] : std::initializer_list<std::pair<std::string, std::string>>{
           {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"\xff\xfe\xfd", "//79"}}) {
    EXPECT_EQ(base64Encode(plain), encoded);
    auto decoded = base64Decode(encoded);
    EXPECT_EQ(std::string(decoded.value().begin(), decoded->end()), plain);
  }
  for (const char* bad : {"Zg", "Zg=", "Zm9v\n", " Zm9v", "Zm-v", "Zm_v", "Z===", "=Zg=", "Zh==", "Zm9=Zm9v"})
    EXPECT_FALSE(base64Decode(bad).has_value()) << bad;
}

}  // namespace
}  // namespace tavlune::platform::text
