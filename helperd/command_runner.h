// Runs an accepted command line as root through the shell.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "helperd/outcome.h"

namespace tavlune::helperd {

inline constexpr std::string_view kShellPath = "/bin/bash";

// The child's whole environment. Nothing of the daemon's own (launchd's, or
// whoever started it) reaches a root shell: no BASH_ENV, no exported
// functions, no PATH of someone else's choosing.
std::vector<std::string> commandEnvironment();

// Bytes of the reply's text at most, cut at a character boundary: a reply line
// longer than the 65536 bytes that the client reads would be no reply at all.
inline constexpr std::size_t kMaxOutcomeTextBytes = 8192;

// "shell" "-s" with command on its standard input, both pipes drained while
// it runs, and heldLock (the command lock's descriptor) passed on to it.
// Success when it exits with status 0. The text is the trimmed standard error
// if the command wrote any, else the trimmed standard output; empty when the
// chosen bytes are not UTF-8; the launch error's description when the shell
// cannot be started.
Outcome runCommandLine(std::string_view command, const std::string& shell = std::string(kShellPath),
                       std::optional<int> heldLock = std::nullopt);

}  // namespace tavlune::helperd
