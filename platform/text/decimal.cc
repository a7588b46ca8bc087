#include "platform/text/decimal.h"

#include <cmath>
#include <locale>
#include <sstream>
#include <string>

namespace tavlune::platform::text {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The length of the run of digits at position at.
std::size_t digitsAt(std::string_view text, std::size_t at) {
  std::size_t n = 0;
  while (at + n < text.size() && isDigit(text[at + n])) ++n;
  return n;
}

bool wellFormed(std::string_view text) {
  std::size_t at = 0;
  if (at < text.size() && text[at] == '-') ++at;
  std::size_t mantissa = digitsAt(text, at);
  at += mantissa;
  if (at < text.size() && text[at] == '.') {
    const std::size_t fraction = digitsAt(text, at + 1);
    at += 1 + fraction;
    mantissa += fraction;
  }
  if (mantissa == 0) return false;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    const std::size_t exponent = digitsAt(text, at);
    if (exponent == 0) return false;
    at += exponent;
  }
  return at == text.size();
}

}  // namespace

std::optional<double> parseDecimal(std::string_view text) {
  if (!wellFormed(text)) return std::nullopt;
  // The classic locale's stream conversion rounds correctly and never takes
  // a comma for the point.
  std::istringstream in{std::string(text)};
  in.imbue(std::locale::classic());
  double value = 0;
  in >> value;
  if (in.fail() || !std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace tavlune::platform::text
