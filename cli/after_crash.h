// What a TavluneDesktop that is not running left on the machine: read from
// its records in the user's defaults and from the live proxy settings, both
// through the platform's ports, as lines for the person at the terminal.
#pragma once

#include <string>
#include <vector>

namespace tavlune::cli {

// Whether a connection Tavlune recorded is still in force, or settings wait
// to be put back, and how to start TavluneDesktop, which takes them back.
std::vector<std::string> afterCrashLines();

}  // namespace tavlune::cli
