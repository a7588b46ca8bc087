// The command-line tests on any bytes: never crash, and the strict test never
// lets through what the published one refuses, or a shell operator outside
// quotes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "helperd/allowed_command_lines.h"

namespace {

// Outside single quotes, an accepted line holds only literal characters,
// blanks, "&&" separators and the "'" between quoted parts.
bool onlyLiteralOutsideQuotes(std::string_view line) {
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (quoted) {
      if (c == '\'') quoted = false;
      continue;
    }
    if (c == '\'') { quoted = true; continue; }
    if (c == '"') {
      if (line.substr(i, 3) != "\"'\"") return false;
      i += 2;
      continue;
    }
    if (c == '&') {
      if (i + 1 >= line.size() || line[i + 1] != '&') return false;
      ++i;
      continue;
    }
    bool literal = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   std::string_view("-_.,:/+=@% \t").find(c) != std::string_view::npos;
    if (!literal) return false;
  }
  return !quoted;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  bool published = tavlune::helperd::passesPrefixTest(line);
  bool allowed = tavlune::helperd::isAllowedCommandLine(line);
  if (allowed && (!published || !onlyLiteralOutsideQuotes(line))) std::abort();
  (void)tavlune::helperd::characterCount(line);
  return 0;
}
