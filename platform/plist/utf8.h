#pragma once

#include <string_view>

namespace tavlune::platform::plist {

// Well-formed UTF-8 (no overlong forms, surrogates or code points past
// U+10FFFF) without NUL, which libplist's C strings cannot carry.
bool isPlistText(std::string_view text);

}  // namespace tavlune::platform::plist
