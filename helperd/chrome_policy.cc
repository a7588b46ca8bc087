#include "helperd/chrome_policy.h"

#include "platform/crash_point.h"
#include "platform/files/files.h"
#include "platform/plist/plist.h"

namespace tavlune::helperd {
namespace {

namespace plist = platform::plist;
namespace files = platform::files;

constexpr mode_t kDirectoryMode = 0755;
constexpr mode_t kFileMode = 0644;

Outcome failed(const platform::Error& error) { return Outcome{false, error.description}; }

Outcome switchOn(const ChromePolicyPaths& paths) {
  const bool policyExists = files::exists(paths.policy);
  // Never over an older backup: it holds the file as it was before our first
  // change. Nor of a file we wrote ourselves (the marker says so): restoring
  // that at switch-off would leave the policy in force.
  if (policyExists && !files::exists(paths.backup) && !files::exists(paths.marker)) {
    if (auto copied = files::copy(paths.policy, paths.backup); !copied) return failed(copied.error());
    platform::crashPoint("policy backed up");
  }

  plist::Dictionary policies;
  if (policyExists) {
    if (auto bytes = files::read(paths.policy)) {
      auto parsed = plist::parse(std::string_view(*bytes));
      if (!parsed) return failed(parsed.error());
      if (auto* dictionary = parsed->as<plist::Dictionary>()) policies = std::move(*dictionary);
    }
  }
  policies.insert_or_assign(std::string(kWebRTCPolicyKey), plist::Value(std::string(kWebRTCPolicyValue)));

  auto xml = plist::toXml(plist::Value(std::move(policies)));
  if (!xml) return failed(xml.error());
  // The marker first: a policy file of ours without it would never be removed.
  if (auto marked = files::writeAtomically(paths.marker, std::string(kMarkerContent), kFileMode); !marked)
    return failed(marked.error());
  platform::crashPoint("marker written");
  if (auto written = files::writeAtomically(paths.policy, *xml, kFileMode); !written) return failed(written.error());
  platform::crashPoint("policy written");
  (void)files::setMode(paths.policy, kFileMode);
  return Outcome{true, ""};
}

Outcome removeMarker(const ChromePolicyPaths& paths) {
  if (auto removed = files::remove(paths.marker); !removed) return failed(removed.error());
  platform::crashPoint("marker removed");
  return Outcome{true, ""};
}

Outcome switchOff(const ChromePolicyPaths& paths) {
  const bool marked = files::exists(paths.marker);
  if (files::exists(paths.backup)) {
    // The marker goes first: left over the restored file, it would let the
    // next switch-on overwrite that file without a backup. A backup without
    // a marker is a switch-off under way, finished at the daemon's start.
    if (marked) {
      if (Outcome removed = removeMarker(paths); !removed.succeeded) return removed;
    }
    // The rename replaces the daemon's file in one step.
    if (auto moved = files::move(paths.backup, paths.policy); !moved) return failed(moved.error());
    platform::crashPoint("policy restored");
    return Outcome{true, ""};
  }
  if (!marked) return Outcome{true, ""};
  if (files::exists(paths.policy)) {
    // Nothing was there to back up, so the file is wholly the daemon's.
    if (auto removed = files::remove(paths.policy); !removed) return failed(removed.error());
    platform::crashPoint("policy removed");
  }
  return removeMarker(paths);
}

}  // namespace

Outcome configureChromeWebRTC(bool enabled, const ChromePolicyPaths& paths) {
  for (const std::string& directory :
       {files::parentDirectory(paths.policy), files::parentDirectory(paths.backup),
        files::parentDirectory(paths.marker)}) {
    if (auto made = files::makeDirectories(directory, kDirectoryMode); !made) return failed(made.error());
  }
  return enabled ? switchOn(paths) : switchOff(paths);
}

Outcome finishInterruptedChromeSwitch(const ChromePolicyPaths& paths) {
  const bool backup = files::exists(paths.backup);
  const bool marker = files::exists(paths.marker);
  if ((backup && !marker) || (marker && !backup && !files::exists(paths.policy))) return switchOff(paths);
  return Outcome{true, ""};
}

}  // namespace tavlune::helperd
