// UTF-8 as RFC 3629 has it: no overlong forms, no surrogates, nothing past
// U+10FFFF. Every check in the project goes through here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavlune::platform::text {

// Length of the well-formed sequence starting at text[pos], 0 when there is
// none; its code point goes to *codePoint when asked for.
std::size_t decodeUtf8(std::string_view text, std::size_t pos, char32_t* codePoint = nullptr);

bool isValidUtf8(std::string_view text);

// The text with every byte that does not start a well-formed sequence
// replaced by U+FFFD.
std::string toValidUtf8(std::string_view text);

}  // namespace tavlune::platform::text
