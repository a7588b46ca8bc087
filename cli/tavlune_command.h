// `tavlune` from its arguments to its exit status.
#pragma once

#include <string>
#include <vector>

namespace tavlune::cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitErrorReply = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitUnreachable = 3;
inline constexpr int kExitTimedOut = 4;
inline constexpr int kExitInterrupted = 130;  // as a shell reports a command ended by SIGINT

// arguments excludes the program name.
int runTavlune(const std::vector<std::string>& arguments);

}  // namespace tavlune::cli
