// The one quoting rule of every command line handed to the shell.
#pragma once

#include <string>
#include <string_view>

namespace tavlune::model {

// value in single quotes, each inner single quote written as '"'"'. Nothing
// else needs escaping: single quotes keep blanks, "$", "`", ";" and any other
// byte literal.
std::string shellQuoted(std::string_view value);

}  // namespace tavlune::model
