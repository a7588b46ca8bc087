// Trimming by Unicode character classes, as Foundation's character sets
// define them: "white space" is the space separators (Zs) and tab; "white
// space and line breaks" adds U+000A-U+000D, U+0085 and the line and
// paragraph separators.
#pragma once

#include <string>
#include <string_view>

namespace tavlune::platform::text {

std::string_view trimWhitespaceAndNewlines(std::string_view text);
// One character of the set trimWhitespaceAndNewlines removes.
bool isWhitespaceOrNewline(char32_t c);
std::string_view trimWhitespace(std::string_view text);

}  // namespace tavlune::platform::text
