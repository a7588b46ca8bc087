#include "platform/text/trim.h"

#include "platform/text/utf8.h"

#include <cstdint>

namespace tavlune::platform::text {
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

template <typename Predicate>
std::string_view trim(std::string_view text, Predicate isTrimmed) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    char32_t c;
    std::size_t length = decodeUtf8(text, begin, &c);
    if (length == 0 || !isTrimmed(c)) break;
    begin += length;
  }
  std::size_t end = text.size();
  while (end > begin) {
    // Step back to the start of the last sequence (at most four bytes).
    std::size_t start = end - 1;
    while (start > begin && end - start < 4 && (static_cast<uint8_t>(text[start]) & 0xC0) == 0x80) --start;
    char32_t c;
    std::size_t length = decodeUtf8(text, start, &c);
    if (length != end - start || !isTrimmed(c)) break;
    end = start;
  }
  return text.substr(begin, end - begin);
}

}  // namespace

bool isWhitespaceOrNewline(char32_t c) { return isSpaceSeparatorOrTab(c) || isLineBreak(c); }

std::string_view trimWhitespaceAndNewlines(std::string_view text) { return trim(text, isWhitespaceOrNewline); }

std::string_view trimWhitespace(std::string_view text) { return trim(text, isSpaceSeparatorOrTab); }

}  // namespace tavlune::platform::text
