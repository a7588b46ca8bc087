// The manager's two coercions of any value from outside (channel arguments,
// property lists, JSON) to trimmed non-empty text or to a signed 64-bit
// integer. A null pointer is an absent value; absent is the only failure.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/channel/encodable_value.h"
#include "platform/json/json.h"
#include "platform/plist/value.h"

namespace tavlune {

std::optional<std::string> text(const channel::EncodableValue* value);
std::optional<std::string> text(const platform::plist::Value* value);
std::optional<std::string> text(const platform::json::Json* value);

std::optional<int64_t> integer(const channel::EncodableValue* value);
std::optional<int64_t> integer(const platform::plist::Value* value);
std::optional<int64_t> integer(const platform::json::Json* value);

// The shared steps: a description trimmed of white space and line breaks,
// absent when nothing is left; and a strict decimal integer ("+" or "-", then
// ASCII digits only, within range).
std::optional<std::string> trimmedText(std::string_view description);
std::optional<int64_t> decimalInteger(std::string_view text);

// A number's textual description: integers in decimal, other numbers in their
// shortest round-trip form (443.9, 5, 1e+20).
std::string describeNumber(double value);

// A number's integer value as the hardware converts it: truncated toward zero,
// saturated at the ends of the range, NaN as 0.
int64_t truncatedInteger(double value);

}  // namespace tavlune
