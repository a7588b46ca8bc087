// Running a command line the way the helper does, "/bin/bash" "-c", with
// "/usr/sbin/networksetup" resolved inside that shell only: a function of that
// name forwards to the given program, so nothing on the host is touched.
#pragma once

#include <string>
#include <vector>

#include "platform/process/process.h"

namespace tavlune::testing {

struct ShellRun {
  int status = -1;
  std::string out;
  std::string err;
};

inline ShellRun runWithNetworksetup(const std::string& line, const std::string& tool,
                                    std::vector<std::string> environment) {
  environment.push_back("TAVLUNE_TEST_NETWORKSETUP=" + tool);
  environment.push_back("PATH=/usr/bin:/bin");
  const std::string script =
      "function /usr/sbin/networksetup { \"$TAVLUNE_TEST_NETWORKSETUP\" \"$@\"; }\n" + line;
  auto result = platform::runProcess("/bin/bash", {"-c", script}, {.environment = environment});
  if (!result) return {-1, "", result.error().description};
  return {result->succeeded() ? 0 : (result->endedBySignal ? -1 : result->terminationStatus),
          std::string(result->standardOutput.begin(), result->standardOutput.end()),
          std::string(result->standardError.begin(), result->standardError.end())};
}

}  // namespace tavlune::testing
