// networksetup for the simulated host: the proxy subcommands the application
// sends, and the read commands people use to look. Service names are matched
// exactly. Any error leaves the preferences untouched and exits non-zero.
#pragma once

#include <string>
#include <vector>

namespace tavlune::sim {

struct ToolOutcome {
  int status = 0;
  std::string standardOutput;
  std::string standardError;
};

// arguments without the program name.
ToolOutcome runNetworksetup(const std::vector<std::string>& arguments, const std::string& preferencesPath);

}  // namespace tavlune::sim
