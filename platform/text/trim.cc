#include "platform/text/trim.h"

#include <cstdint>

namespace tavlune::strings {
namespace {

bool isSpaceSeparatorOrTab(char32_t c) {
  switch (c) {
    case 0x0009: case 0x0020: case 0x00A0: case 0x1680: case 0x202F: case 0x205F: case 0x3000:
      return true;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}

bool isLineBreak(char32_t c) {
  return (c >= 0x000A && c <= 0x000D) || c == 0x0085 || c == 0x2028 || c == 0x2029;
}

// Decodes one well-formed sequence at text[i]; returns its length, 0 if malformed.
std::size_t decodeAt(std::string_view text, std::size_t i, char32_t& out) {
  auto byte = [&](std::size_t k) { return static_cast<uint8_t>(text[k]); };
  uint8_t b0 = byte(i);
  std::size_t length;
  char32_t min;
  if (b0 < 0x80) { out = b0; return 1; }
  if ((b0 & 0xE0) == 0xC0) { length = 2; out = b0 & 0x1F; min = 0x80; }
  else if ((b0 & 0xF0) == 0xE0) { length = 3; out = b0 & 0x0F; min = 0x800; }
  else if ((b0 & 0xF8) == 0xF0) { length = 4; out = b0 & 0x07; min = 0x10000; }
  else return 0;
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    uint8_t b = byte(i + k);
    if ((b & 0xC0) != 0x80) return 0;
    out = (out << 6) | (b & 0x3F);
  }
  if (out < min || out > 0x10FFFF || (out >= 0xD800 && out <= 0xDFFF)) return 0;
  return length;
}

template <typename Predicate>
std::string_view trim(std::string_view text, Predicate isTrimmed) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    char32_t c;
    std::size_t length = decodeAt(text, begin, c);
    if (length == 0 || !isTrimmed(c)) break;
    begin += length;
  }
  std::size_t end = text.size();
  while (end > begin) {
    // Step back to the start of the last sequence (at most four bytes).
    std::size_t start = end - 1;
    while (start > begin && end - start < 4 && (static_cast<uint8_t>(text[start]) & 0xC0) == 0x80) --start;
    char32_t c;
    std::size_t length = decodeAt(text, start, c);
    if (length != end - start || !isTrimmed(c)) break;
    end = start;
  }
  return text.substr(begin, end - begin);
}

}  // namespace

std::string_view trimWhitespaceAndNewlines(std::string_view text) {
  return trim(text, [](char32_t c) { return isSpaceSeparatorOrTab(c) || isLineBreak(c); });
}

std::string_view trimWhitespace(std::string_view text) { return trim(text, isSpaceSeparatorOrTab); }

bool isValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    char32_t c;
    std::size_t length = decodeAt(text, i, c);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

}  // namespace tavlune::strings
