// Conversions between CoreFoundation property lists and plist::Value: the one
// place where the platform's objects become the project's values and back.
// Both ways are bounded like the property-list layer's reader (nesting depth,
// node count), so a shared or deeply nested object cannot blow up a copy.
//
// Numbers: an integer CFNumber becomes int64 and is refused when it does not
// fit; a floating-point one becomes double. Text is UTF-8 both ways; text that
// is not valid Unicode is refused. Dictionaries must have text keys.
// CoreFoundation has no public keyed-archiver UID, so a Uid is refused.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/mac/cf_ref.h"
#include "platform/plist/value.h"

namespace tavlune::platform::mac {

// A CFString of UTF-8 text; fails on bytes that are not UTF-8.
Result<CFRef<CFStringRef>> cfString(std::string_view utf8);
// The UTF-8 text of a CFString.
Result<std::string> utf8String(CFStringRef text);

// Any property-list object: string, number, boolean, data, date, array,
// dictionary. The object is only read; the caller keeps its reference.
Result<plist::Value> fromPropertyList(CFPropertyListRef object);
// A new property-list object the caller owns.
Result<CFRef<CFPropertyListRef>> toPropertyList(const plist::Value& value);

}  // namespace tavlune::platform::mac
