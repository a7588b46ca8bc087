#pragma once

#include <cstdint>
#include <span>

#include "platform/error.h"

namespace tavlune::platform::plist {

// Walks a "bplist00" file the way libplist 2.2 would and refuses what it must
// not be handed: objects or references out of bounds, cycles, nesting deeper
// than kMaxDepth, more than kMaxNodes values once shared objects are expanded,
// and values our Value cannot hold exactly (null, sets, integers beyond int64,
// dates outside libplist's 32-bit seconds, UIDs past 32 bits, strings with NUL
// or unpaired surrogates, dictionary keys that are not strings).
Result<void> checkBinary(std::span<const uint8_t> bytes);

}  // namespace tavlune::platform::plist
