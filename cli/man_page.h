// The documents generated from the command table: the man page tavlune(1)
// and the bash and zsh completions. `tavlune-docs` writes them at build time.
#pragma once

#include <string>

namespace tavlune::cli {

// tavlune.1 in the man macros.
std::string manPage();

// For bash-completion's completions folder (file "tavlune").
std::string bashCompletion();

// For a zsh $fpath folder (file "_tavlune").
std::string zshCompletion();

}  // namespace tavlune::cli
