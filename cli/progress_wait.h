// Waiting for a reply that may take seconds, with a line on a terminal that
// says what is being waited for and for how long.
#pragma once

#include <functional>
#include <string>

namespace tavlune::cli {

// Calls done() once a second until it answers true. When standard error is a
// terminal and label is not empty, shows "label … Ns" meanwhile, and clears
// it at the end.
void waitWithProgress(const std::string& label, const std::function<bool(int secondsWaited)>& done);

}  // namespace tavlune::cli
