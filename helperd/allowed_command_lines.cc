#include "helperd/allowed_command_lines.h"

#include <utf8proc.h>

#include "helperprotocol/networksetup_invocations.h"
#include "helperprotocol/shell_words.h"
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
  // Nothing legitimate holds a NUL, and bash would not read it as it was checked.
  if (command.find('\0') != std::string_view::npos || !platform::text::isValidUtf8(command)) return false;
  return everyPiece(command, [](std::string_view piece) {
    auto words = helperprotocol::shellWords(piece);
    return words && helperprotocol::networksetup::invokedSubcommand(*words) != nullptr;
  });
}

}  // namespace tavlune::helperd
