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
  if (auto written = files::writeAtomically(paths.policy, *xml, kFileMode); !written) return failed(written.error());
  platform::crashPoint("policy written");
  if (auto marked = files::writeAtomically(paths.marker, std::string(kMarkerContent), kFileMode); !marked)
    return failed(marked.error());
  platform::crashPoint("marker written");
  (void)files::setMode(paths.policy, kFileMode);
  return Outcome{true, ""};
}

Outcome switchOff(const ChromePolicyPaths& paths) {
  const bool marked = files::exists(paths.marker);
  if (files::exists(paths.backup)) {
    // The rename replaces the daemon's file in one step.
    if (auto moved = files::move(paths.backup, paths.policy); !moved) return failed(moved.error());
    platform::crashPoint("policy restored");
  } else if (marked && files::exists(paths.policy)) {
    // Nothing was there to back up, so the file is wholly the daemon's.
    if (auto removed = files::remove(paths.policy); !removed) return failed(removed.error());
    platform::crashPoint("policy removed");
  }
  if (marked) {
    if (auto removed = files::remove(paths.marker); !removed) return failed(removed.error());
    platform::crashPoint("marker removed");
  }
  return Outcome{true, ""};
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

}  // namespace tavlune::helperd
