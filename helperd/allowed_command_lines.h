// Which request texts the daemon runs as root, handing them to "/bin/bash"
// "-s" on its standard input.
#pragma once

#include <cstddef>
#include <string_view>

#include "helperprotocol/protocol.h"

namespace tavlune::helperd {

using helperprotocol::kMaxCommandCharacters;

// The published test: not empty, fewer than 131072 characters, and every piece
// between "&&" separators, trimmed of non-line-break white space, begins with
// the tool's path. It looks at nothing after the prefix.
bool passesPrefixTest(std::string_view command);

// The test the daemon applies: the published one, and then every piece must be
// exactly one networksetup invocation as the application's builders write it
// (helperprotocol/networksetup_invocations.h): the tool's path, one known
// subcommand, and its arguments in that subcommand's shape, each argument a
// single-quoted string (inner quotes as '"'"') or a bare word of characters
// the shell takes literally, separated by blanks or tabs. Nothing else
// reaches the shell: no unquoted operator, expansion, glob, redirection,
// comment or line break, no unbalanced quote and no NUL anywhere. Every line
// that the connect, restore and switch-off builders produce for any names,
// hosts, users and passwords passes.
bool isAllowedCommandLine(std::string_view command);

// Grapheme clusters in UTF-8 text; invalid sequences count one each per byte.
std::size_t characterCount(std::string_view text);

}  // namespace tavlune::helperd
