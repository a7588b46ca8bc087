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

// On: back up a file not yet backed up (and not ours: no marker), write the
// marker, then set the one key (other keys kept, a top level that is not a
// dictionary dropped) and write XML, keeping the owner and bits of the file it
// replaces (0644 when there was none). Off, with the marker: a file still as
// we wrote it gives way to the backup byte for byte, or goes when there was
// none; a file changed since stays, with only our key put back as it was (or
// removed), while it still holds our value; then the backup and the marker
// go. Off without a marker only drops a backup: never is one put back that
// our marker does not vouch for. The three folders are made 0755 first, and
// nothing is read or written through a symbolic link or from anything but a
// regular file. The first failing step ends it, with its description; steps
// already done stay done, and each leaves a state that the next switch, or
// the daemon's next start, completes.
Outcome configureChromeWebRTC(bool enabled, const ChromePolicyPaths& paths = {});

// At the daemon's start: a switch that stopped half way (the daemon killed
// between its steps) may leave a backup without a marker (a switch-on before
// its marker: the policy file is as it was), which is dropped, or our marker
// over a policy file that does not hold our value, or over none (a
// switch-off between its steps, or a switch-on before its file), whose
// switch-off is finished. A marker over our value is protection in force.
Outcome finishInterruptedChromeSwitch(const ChromePolicyPaths& paths = {});

}  // namespace tavlune::helperd
