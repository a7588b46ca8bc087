// The quoting of every value a command line hands to the shell, and beside it
// its inverse: the words bash reads back from a piece written that way.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavlune::helperprotocol {

// value in single quotes, each inner single quote written as '"'"'. Nothing
// else needs escaping: single quotes keep blanks, "$", "`", ";" and any other
// byte literal.
std::string shellQuoted(std::string_view value);

struct ShellWord {
  std::string value;  // what the shell passes on
  bool bare = true;   // written without quotes
};

// The words of a piece as bash would read them, or absent when the piece
// holds anything but blanks or tabs, characters bash takes literally in an
// unquoted word, '...' strings and the "'" that the quoting rule puts
// between them: no operator, expansion, glob, redirection, comment or line
// break outside quotes, and no unbalanced quote.
std::optional<std::vector<ShellWord>> shellWords(std::string_view piece);

}  // namespace tavlune::helperprotocol
