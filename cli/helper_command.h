// `tavlune helper`: the privileged helper as the machine holds it, and its
// removal by an administrator. It talks to the helper's socket and files
// directly, so it works whether or not TavluneDesktop is running.
#pragma once

#include <chrono>

namespace tavlune::cli {

// status, or uninstall (root only); gives the exit status.
int runHelperCommand(bool uninstall, bool json, std::chrono::milliseconds limit);

}  // namespace tavlune::cli
