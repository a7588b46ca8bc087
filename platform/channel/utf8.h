// UTF-8 checks for channel strings. The Dart side refuses malformed UTF-8, so
// neither do we accept it nor do we send it.
#pragma once

#include <string>
#include <string_view>

namespace tavlune::channel {

// Well-formed as RFC 3629 has it: no overlong forms, no surrogates, nothing past U+10FFFF.
bool IsValidUtf8(std::string_view text);

// The text with every byte that does not start a well-formed sequence replaced by U+FFFD.
std::string ToValidUtf8(std::string_view text);

}  // namespace tavlune::channel
