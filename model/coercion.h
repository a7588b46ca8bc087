// The two coercions of any value from outside (property lists, JSON) to
// trimmed non-empty text or to a signed 64-bit integer. A null pointer is an
// absent value; absent is the only failure. The channel's values have their
// own overloads in manager/, built from the same steps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/json/json.h"
#include "platform/plist/value.h"

namespace tavlune::model {

std::optional<std::string> text(const platform::plist::Value* value);
std::optional<std::string> text(const platform::json::Json* value);

std::optional<int64_t> integer(const platform::plist::Value* value);
std::optional<int64_t> integer(const platform::json::Json* value);

// The shared steps: a description trimmed of white space and line breaks,
// absent when nothing is left; and a strict decimal integer ("+" or "-", then
// ASCII digits only, within range).
std::optional<std::string> trimmedText(std::string_view description);
std::optional<int64_t> decimalInteger(std::string_view text);

// How values that are not text describe themselves: booleans as number
// objects ("1"/"0"), numbers in decimal or their shortest round-trip form
// (443.9, 5, 1e+20), containers as "<KIND of COUNT>".
std::string describeBool(bool value);
std::string describeNumber(double value);
std::string describeCount(const char* kind, std::size_t count);

// A number's integer value as the hardware converts it: truncated toward zero,
// saturated at the ends of the range, NaN as 0.
int64_t truncatedInteger(double value);

}  // namespace tavlune::model
