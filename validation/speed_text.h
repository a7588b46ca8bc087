// Turning curl's "%{speed_download}" output into the text shown to the user.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavlune::validation {

inline constexpr const char* kSpeedUnavailable = "Unavailable";

// Bytes per second as curl printed them: a finite decimal number making up
// the whole text once white space and line breaks are trimmed, read the same
// whatever the process locale; absent otherwise.
std::optional<double> parseRate(std::string_view output);

// "12.3 Mbps" (capped at 999.9) for a positive rate; "Unavailable" otherwise,
// including output that is not UTF-8.
std::string speedText(std::string_view output);

}  // namespace tavlune::validation
