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

}  // namespace
}  // namespace tavlune::platform::text
