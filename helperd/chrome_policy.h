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
// top level that is not a dictionary dropped), write the marker, write XML
// atomically with mode 0644. Off: remove the marker and restore the backup,
// or remove the file the daemon created, then the marker. The folders of the
// paths are made with mode 0755 first. The first failing step ends it, with
// its description; steps already done stay done. In that order every step
// leaves a state that the next switch, or the daemon's next start, completes.
Outcome configureChromeWebRTC(bool enabled, const ChromePolicyPaths& paths = {});

// At the daemon's start: a switch that stopped half way (the daemon killed
// between its steps) leaves a backup without a marker, or a marker with
// neither a backup nor a policy file; both are switched off, so that the
// policy file as it was comes back and nothing of ours is left. A failed
// switch-on is answered as a failure, after which the application treats
// the protection as off, so the one repair fits both directions.
Outcome finishInterruptedChromeSwitch(const ChromePolicyPaths& paths = {});

}  // namespace tavlune::helperd
