// The man page tavlune(1), generated from the command table; `tavlune-docs`
// writes it at build time.
#pragma once

#include <string>

namespace tavlune::cli {

// tavlune.1 in the man macros.
std::string manPage();

}  // namespace tavlune::cli
