#include "helperd/command_test.h"

#include <utf8proc.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "platform/text/trim.h"
#include "platform/text/utf8.h"

namespace tavlune::helperd {

using helperprotocol::kChainSeparator;
using helperprotocol::kToolPath;
namespace {

// A piece between separators. An empty piece counts, so "a&&" has two.
template <typename Visit>
bool everyPiece(std::string_view command, Visit visit) {
  std::size_t start = 0;
  for (;;) {
    std::size_t at = command.find(kChainSeparator, start);
    if (!visit(command.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start)))
      return false;
    if (at == std::string_view::npos) return true;
    start = at + kChainSeparator.size();
  }
}

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

struct Word {
  std::string value;  // what the shell passes on
  bool bare = true;   // written without quotes
};

// Words as bash would read them, or absent when the piece holds anything but
// blanks, literal characters, '...' strings and the "'" that the quoting rule
// puts between them.
std::optional<std::vector<Word>> splitWords(std::string_view piece) {
  std::vector<Word> words;
  std::size_t i = 0;
  const std::size_t n = piece.size();
  while (i < n && isBlank(piece[i])) ++i;
  while (i < n) {
    Word word;
    while (i < n && !isBlank(piece[i])) {
      char c = piece[i];
      if (c == '\'') {
        std::size_t close = piece.find('\'', i + 1);
        if (close == std::string_view::npos) return std::nullopt;
        word.value.append(piece.substr(i + 1, close - i - 1));
        word.bare = false;
        i = close + 1;
      } else if (c == '"') {
        if (piece.substr(i, 3) != "\"'\"") return std::nullopt;
        word.value.push_back('\'');
        word.bare = false;
        i += 3;
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

bool isBareWord(const Word& word, std::string_view value) { return word.bare && word.value == value; }

bool isSwitch(const Word& word) { return isBareWord(word, "on") || isBareWord(word, "off"); }

bool isPort(const Word& word) {
  std::string_view digits = word.value;
  if (!word.bare) return false;
  if (!digits.empty() && digits.front() == '-') digits.remove_prefix(1);
  if (digits.empty() || digits.size() > 19) return false;
  for (char c : digits)
    if (c < '0' || c > '9') return false;
  return true;
}

enum class Shape { switchState, bypassDomains, proxyServer, autoProxyUrl };

struct Subcommand {
  std::string_view name;
  Shape shape;
};

constexpr std::array<Subcommand, 10> kSubcommands{{
    {"-setwebproxystate", Shape::switchState},
    {"-setsecurewebproxystate", Shape::switchState},
    {"-setsocksfirewallproxystate", Shape::switchState},
    {"-setautoproxystate", Shape::switchState},
    {"-setproxyautodiscovery", Shape::switchState},
    {"-setproxybypassdomains", Shape::bypassDomains},
    {"-setwebproxy", Shape::proxyServer},
    {"-setsecurewebproxy", Shape::proxyServer},
    {"-setsocksfirewallproxy", Shape::proxyServer},
    {"-setautoproxyurl", Shape::autoProxyUrl},
}};

// tool, subcommand, service, then the subcommand's own arguments.
bool matchesInvocation(const std::vector<Word>& words) {
  if (words.size() < 3 || !isBareWord(words[0], kToolPath) || !words[1].bare) return false;
  const Subcommand* subcommand = nullptr;
  for (const auto& candidate : kSubcommands)
    if (words[1].value == candidate.name) subcommand = &candidate;
  if (subcommand == nullptr) return false;
  const std::size_t arguments = words.size() - 3;
  switch (subcommand->shape) {
    case Shape::switchState:
      return arguments == 1 && isSwitch(words[3]);
    case Shape::bypassDomains:
      return arguments >= 1;
    case Shape::proxyServer:
      // host, port, then "off", or "on" with a user name and a password.
      if (arguments != 3 && arguments != 5) return false;
      if (!isPort(words[4])) return false;
      return arguments == 3 ? isBareWord(words[5], "off") : isBareWord(words[5], "on");
    case Shape::autoProxyUrl:
      return arguments == 1;
  }
  return false;
}

}  // namespace

std::size_t characterCount(std::string_view text) {
  const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
  const auto size = static_cast<utf8proc_ssize_t>(text.size());
  std::size_t count = 0;
  utf8proc_int32_t previous = -1;
  utf8proc_int32_t state = 0;
  for (utf8proc_ssize_t i = 0; i < size;) {
    utf8proc_int32_t c;
    utf8proc_ssize_t length = utf8proc_iterate(bytes + i, size - i, &c);
    if (length <= 0) {
      // A stray byte stands alone and breaks any cluster around it.
      ++count;
      previous = -1;
      state = 0;
      ++i;
      continue;
    }
    if (previous < 0 || utf8proc_grapheme_break_stateful(previous, c, &state)) ++count;
    previous = c;
    i += length;
  }
  return count;
}

bool passesPrefixTest(std::string_view command) {
  if (command.empty()) return false;
  if (characterCount(command) >= kMaxCommandCharacters) return false;
  return everyPiece(command, [](std::string_view piece) {
    return platform::text::trimWhitespace(piece).starts_with(kToolPath);
  });
}

bool isAllowedCommandLine(std::string_view command) {
  if (!passesPrefixTest(command)) return false;
  // bash would see a NUL as the end of its argument; nothing legitimate has one.
  if (command.find('\0') != std::string_view::npos || !platform::text::isValidUtf8(command)) return false;
  return everyPiece(command, [](std::string_view piece) {
    auto words = splitWords(piece);
    return words && matchesInvocation(*words);
  });
}

}  // namespace tavlune::helperd
