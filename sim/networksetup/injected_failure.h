// A host setting that makes one networksetup run fail, as a step of the
// system's tool can (an item it cannot write), so that a command line stops
// after applying its first pieces. /etc/tavlune-sim/networksetup-failure
// holds N: the next N runs go on, each counting it down, and the run after
// them fails without changing anything and removes the setting. Only the
// simulated host has the file.
#pragma once

#include <optional>
#include <string>

namespace tavlune::sim {

inline constexpr const char* kInjectedFailurePath = "/etc/tavlune-sim/networksetup-failure";
inline constexpr const char* kInjectedFailureText = "** Error: The settings could not be saved.\n";

// Counts this run against the setting: true when this run is the one to fail.
bool takeInjectedFailure(const std::string& settingPath = kInjectedFailurePath);

}  // namespace tavlune::sim
