// Decimal numbers as programs print them for other programs, read the same
// way whatever the locale: the C library's conversion takes the locale's
// decimal point, and std::from_chars for floating point is missing from some
// C++ libraries still in use (macOS's before its 13.3 SDK).
#pragma once

#include <optional>
#include <string_view>

namespace tavlune::platform::text {

// The whole text as an optional "-", digits with at most one ".", at least
// one digit, and an optional exponent ("e" or "E", a sign, digits), rounded to
// the nearest double; anything else (spaces, "+", "inf", "nan", hexadecimal)
// is absent, and so is a value too large for a double.
std::optional<double> parseDecimal(std::string_view text);

}  // namespace tavlune::platform::text
