#pragma once

#include <string_view>

#include "platform/error.h"

namespace tavlune::platform::plist {

// A lexical pass over an XML property list before libplist parses it: element
// nesting within kMaxDepth (libplist 2.2 frees trees recursively, so a deep
// file would exhaust the stack), and <integer> texts that are plain decimals
// within int64 (libplist reads "0x10", "010", "5x" and out-of-range numbers
// without complaint).
Result<void> checkXml(std::string_view text);

// "-?[0-9]+" without superfluous leading zeros, within int64.
bool isDecimalInt64(std::string_view text);

}  // namespace tavlune::platform::plist
