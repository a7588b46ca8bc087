#include "validation/speed_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "platform/text/decimal.h"
#include "platform/text/trim.h"
#include "platform/text/utf8.h"

namespace tavlune::validation {

std::optional<double> parseRate(std::string_view output) {
  std::string_view text = platform::text::trimWhitespaceAndNewlines(output);
  // One leading "+" is allowed; parseDecimal takes none.
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return std::nullopt;
  return platform::text::parseDecimal(text);
}

std::string speedText(std::string_view output) {
  if (!platform::text::isValidUtf8(output)) return kSpeedUnavailable;
  auto rate = parseRate(output);
  if (!rate || !(*rate > 0)) return kSpeedUnavailable;
  double megabits = std::min(*rate * 8 / 1000000, 999.9);
  // to_chars rather than printf: a decimal point, never a locale's comma.
  char buffer[32];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, megabits, std::chars_format::fixed, 1);
  if (error != std::errc()) return kSpeedUnavailable;
  return std::string(buffer, end) + " Mbps";
}

}  // namespace tavlune::validation
