// Reading and writing property lists over libplist 2.2.
//
// Integers: libplist 2.2 only has an unsigned 64-bit integer node, so an int64
// travels as its two's-complement bit pattern. libplist writes such a node in
// binary as 8 bytes, which is exactly how CoreFoundation stores negative
// numbers, and in XML as a signed decimal, which it reads back to the same
// bits. Integers that do not fit int64 (16-byte binary values beyond it, XML
// decimals past INT64_MAX) are refused rather than wrapped.
//
// Dates: libplist 2.2 exchanges dates as 32-bit seconds plus microseconds, so
// a Date must lie within those seconds; binary keeps microseconds, XML keeps
// whole seconds (the format's own resolution). A negative date within a
// second of the reference date reads back without its sign: libplist 2.2
// drops it.
//
// UIDs are 32-bit (libplist writes larger ones as 0). In XML they are the
// {"CF$UID": n} dictionary, which reads back as a Uid.
//
// Strings and keys are UTF-8 without NUL; anything else is refused both ways.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/plist/limits.h"
#include "platform/plist/value.h"

namespace tavlune::platform::plist {

// Binary ("bplist00") or XML, told apart by the first bytes.
Result<Value> parse(std::span<const uint8_t> bytes);
Result<Value> parse(std::string_view bytes);

Result<Data> toBinary(const Value& value);
Result<std::string> toXml(const Value& value);

}  // namespace tavlune::platform::plist
