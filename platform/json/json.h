// JSON over nlohmann-json, strict on input: one complete value and nothing
// after it (white space aside), no comments, no NUL anywhere, valid UTF-8,
// nesting capped so hostile input cannot exhaust the stack.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/error.h"

namespace tavlune::platform::json {

using Json = nlohmann::json;

inline constexpr std::size_t kMaxDepth = 64;
inline constexpr std::size_t kMaxInputBytes = 4 * 1024 * 1024;

Result<Json> parse(std::string_view text);

// Compact text, no trailing line feed. Fails only on text that is not UTF-8.
Result<std::string> serialize(const Json& value);

// As serialize, with every "/" written as "\/", as Apple's JSON writer does.
Result<std::string> serializeEscapingSlashes(const Json& value);

// A JSON number written without fraction or exponent.
bool isInteger(const Json& value);

// A number that is a whole value within the signed 64-bit range, written as an
// integer or not (443 and 443.0 both give 443); absent for anything else.
std::optional<int64_t> wholeNumber(const Json& value);

}  // namespace tavlune::platform::json
