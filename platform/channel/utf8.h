// The channel's UTF-8 rules: the Dart side refuses malformed UTF-8, so the
// codec neither accepts it nor sends it.
#pragma once

#include "platform/text/utf8.h"

namespace tavlune::channel {

inline bool IsValidUtf8(std::string_view text) { return strings::isValidUtf8(text); }
inline std::string ToValidUtf8(std::string_view text) { return strings::toValidUtf8(text); }

}  // namespace tavlune::channel
