// The environment a job starts with: launchctl's own, plus the host setting
// /etc/tavlune-sim/job-environment (one NAME=VALUE a line, read at each start
// and restart, later names replacing earlier ones). Only the simulated host
// has that file; tests use it to hand the daemon switches such as its crash
// point (platform/crash_point.h).
#pragma once

#include <string>
#include <vector>

namespace tavlune::sim {

inline constexpr const char* kJobEnvironmentPath = "/etc/tavlune-sim/job-environment";

// inherited: a null-terminated NAME=VALUE array such as environ.
std::vector<std::string> jobEnvironment(char* const* inherited, const std::string& settingPath = kJobEnvironmentPath);

}  // namespace tavlune::sim
