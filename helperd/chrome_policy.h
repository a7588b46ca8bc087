// Chrome's machine-wide WebRTC policy, switched on and off by the daemon. An
// earlier policy file is kept aside when the daemon first writes its own and
// is put back, byte for byte, when the policy goes off.
#pragma once

#include <string>
#include <string_view>

#include "helperprotocol/protocol.h"
#include "helperd/outcome.h"

namespace tavlune::helperd {

inline constexpr std::string_view kChromePolicyPath = helperprotocol::kChromePolicyPath;
inline constexpr std::string_view kChromeBackupPath =
    "/Library/Application Support/Tavlune/chrome-policy.backup.plist";
inline constexpr std::string_view kChromeMarkerPath = "/Library/Application Support/Tavlune/chrome-policy.managed";

inline constexpr std::string_view kWebRTCPolicyKey = helperprotocol::kWebRTCPolicyKey;
inline constexpr std::string_view kWebRTCPolicyValue = helperprotocol::kWebRTCPolicyValue;
inline constexpr std::string_view kMarkerContent = "managed";

struct ChromePolicyPaths {
  std::string policy{kChromePolicyPath};
  std::string backup{kChromeBackupPath};  // exists only while on, when a file was there before
  std::string marker{kChromeMarkerPath};  // "managed": the daemon wrote the policy
};

// On: back up a file not yet backed up, set the one key (other keys kept, a
// top level that is not a dictionary dropped), write XML atomically with mode
// 0644, write the marker. Off: restore the backup, or remove the file the
// daemon created, then remove the marker. The folders of the paths are made
// with mode 0755 first. The first failing step ends it, with its description;
// steps already done stay done.
Outcome configureChromeWebRTC(bool enabled, const ChromePolicyPaths& paths = {});

}  // namespace tavlune::helperd
