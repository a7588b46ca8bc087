// The shell completions generated from the command table; `tavlune-docs`
// writes them at build time.
#pragma once

#include <string>

namespace tavlune::cli {

// For bash-completion's completions folder (file "tavlune").
std::string bashCompletion();

// For a zsh $fpath folder (file "_tavlune").
std::string zshCompletion();

}  // namespace tavlune::cli
