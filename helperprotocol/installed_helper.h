// Where the helper lives once installed, and the launchd job that keeps it
// running: the application's installer writes them, launchd starts the daemon
// from them.
#pragma once

#include <string_view>

namespace tavlune::helperprotocol {

inline constexpr std::string_view kHelperLabel = "com.tavlune.proxyhelper";
inline constexpr std::string_view kInstalledProgramPath = "/Library/PrivilegedHelperTools/com.tavlune.proxyhelper";
inline constexpr std::string_view kLaunchDaemonJobPath = "/Library/LaunchDaemons/com.tavlune.proxyhelper.plist";

}  // namespace tavlune::helperprotocol
