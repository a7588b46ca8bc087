// networksetup for the simulated host. The preferences path may be moved by
// TAVLUNE_SIM_PREFERENCES so that tests work on a file of their own; the
// host may make a run fail (injected_failure.h).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/sysconfig/network_preferences.h"
#include "sim/networksetup/injected_failure.h"
#include "sim/networksetup/networksetup_tool.h"

int main(int argc, char** argv) {
  if (tavlune::sim::takeInjectedFailure()) {
    std::fputs(tavlune::sim::kInjectedFailureText, stderr);
    return 1;
  }
  const char* override = std::getenv("TAVLUNE_SIM_PREFERENCES");
  const std::string path = override && *override ? override : tavlune::platform::sysconfig::NetworkPreferences::path;
  auto outcome = tavlune::sim::runNetworksetup(std::vector<std::string>(argv + 1, argv + argc), path);
  std::fwrite(outcome.standardOutput.data(), 1, outcome.standardOutput.size(), stdout);
  std::fwrite(outcome.standardError.data(), 1, outcome.standardError.size(), stderr);
  return outcome.status;
}
