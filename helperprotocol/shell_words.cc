#include "helperprotocol/shell_words.h"

namespace tavlune::helperprotocol {
namespace {

// Characters that bash never treats specially anywhere in an unquoted word
// (the first word is fixed, so "=" cannot make an assignment).
bool isLiteralCharacter(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '-': case '_': case '.': case ',': case ':': case '/': case '+': case '=': case '@': case '%':
      return true;
    default:
      return false;
  }
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The quote that the quoting rule writes between two quoted parts.
constexpr std::string_view kQuotedQuote = "\"'\"";

}  // namespace

std::string shellQuoted(std::string_view value) {
  std::string quoted = "'";
  for (char c : value) {
    if (c == '\'') {
      quoted += "'";
      quoted += kQuotedQuote;
      quoted += "'";
    } else {
      quoted += c;
    }
  }
  quoted += '\'';
  return quoted;
}

std::optional<std::vector<ShellWord>> shellWords(std::string_view piece) {
  std::vector<ShellWord> words;
  std::size_t i = 0;
  const std::size_t n = piece.size();
  while (i < n && isBlank(piece[i])) ++i;
  while (i < n) {
    ShellWord word;
    while (i < n && !isBlank(piece[i])) {
      char c = piece[i];
      if (c == '\'') {
        std::size_t close = piece.find('\'', i + 1);
        if (close == std::string_view::npos) return std::nullopt;
        word.value.append(piece.substr(i + 1, close - i - 1));
        word.bare = false;
        i = close + 1;
      } else if (c == '"') {
        if (piece.substr(i, kQuotedQuote.size()) != kQuotedQuote) return std::nullopt;
        word.value.push_back('\'');
        word.bare = false;
        i += kQuotedQuote.size();
      } else if (isLiteralCharacter(c)) {
        word.value.push_back(c);
        ++i;
      } else {
        return std::nullopt;
      }
    }
    words.push_back(std::move(word));
    while (i < n && isBlank(piece[i])) ++i;
  }
  return words;
}

}  // namespace tavlune::helperprotocol
