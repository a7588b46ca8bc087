// A launchd job as the stand-in launchctl understands it.
#pragma once

#include <string>
#include <vector>

#include "platform/error.h"

namespace tavlune::sim {

struct LaunchJob {
  std::string label;
  std::vector<std::string> programArguments;
  bool runAtLoad = false;
  bool keepAlive = false;
  // launchd's default, false: when the job's program exits, whatever is left
  // of its process group is ended with it.
  bool abandonProcessGroup = false;
};

// Labels name files of the registry, so they are kept to reverse-domain
// characters: letters, digits, ".", "-" and "_", not starting with ".".
bool isValidLabel(const std::string& label);

// Reads a job file (XML or binary property list). Label and a non-empty
// ProgramArguments of strings are required; the program must be an absolute path.
platform::Result<LaunchJob> readLaunchJob(const std::string& path);

}  // namespace tavlune::sim
