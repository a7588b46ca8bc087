#include "helperd/chrome_policy.h"

#include <unistd.h>

#include <optional>

#include "platform/crash_point.h"
#include "platform/files/files.h"
#include "platform/files/folder.h"
#include "platform/plist/plist.h"

namespace tavlune::helperd {
namespace {

namespace plist = platform::plist;
namespace files = platform::files;
using files::Folder;

constexpr mode_t kDirectoryMode = 0755;
constexpr mode_t kFileMode = 0644;

Outcome failed(const platform::Error& error) { return Outcome{false, error.description}; }
const Outcome kDone{true, ""};

// One of the three files, inside its folder held open: nothing is read or
// written through a link, wherever one is planted.
struct Place {
  Folder folder;
  std::string name;

  platform::Result<std::optional<Folder::Entry>> entry() const { return folder.entry(name); }
  platform::Result<std::optional<std::string>> read() const { return folder.read(name, plist::kMaxInputBytes); }
  platform::Result<void> remove() const { return folder.remove(name); }
};

struct Places {
  Place policy, backup, marker;
};

platform::Result<Place> placeOf(const std::string& path) {
  auto folder = Folder::openMaking(files::parentDirectory(path), kDirectoryMode);
  if (!folder) return unexpected(folder.error());
  return Place{std::move(*folder), path.substr(path.find_last_of('/') + 1)};
}

platform::Result<Places> placesOf(const ChromePolicyPaths& paths) {
  auto policy = placeOf(paths.policy);
  if (!policy) return unexpected(policy.error());
  auto backup = placeOf(paths.backup);
  if (!backup) return unexpected(backup.error());
  auto marker = placeOf(paths.marker);
  if (!marker) return unexpected(marker.error());
  return Places{std::move(*policy), std::move(*backup), std::move(*marker)};
}

// A file as found: its bytes, owner and bits. Anything but a regular file is
// refused at once.
struct Found {
  std::string bytes;
  Folder::Entry entry;
};

platform::Result<std::optional<Found>> find(const Place& place) {
  auto entry = place.entry();
  if (!entry) return unexpected(entry.error());
  if (!*entry) return std::optional<Found>();
  auto bytes = place.read();
  if (!bytes) return unexpected(bytes.error());
  if (!*bytes) return std::optional<Found>();  // removed between the two looks
  return std::optional<Found>(Found{std::move(**bytes), **entry});
}

// Written with the owner and bits of the file it replaces, or ours and 0644.
platform::Result<void> write(const Place& place, const std::string& bytes, const std::optional<Found>& replaced) {
  if (replaced)
    return place.folder.write(place.name, bytes, replaced->entry.mode, replaced->entry.owner, replaced->entry.group);
  return place.folder.write(place.name, bytes, kFileMode, ::geteuid(), ::getegid());
}

// The policies of a file; none for a top level that is not a dictionary.
std::optional<plist::Dictionary> policiesOf(const std::string& bytes) {
  auto parsed = plist::parse(std::string_view(bytes));
  if (!parsed) return std::nullopt;
  if (auto* dictionary = parsed->as<plist::Dictionary>()) return std::move(*dictionary);
  return std::nullopt;
}

const plist::Value& ours() {
  static const plist::Value value{std::string(kWebRTCPolicyValue)};
  return value;
}

Outcome switchOn(const Places& at) {
  auto policy = find(at.policy);
  if (!policy) return failed(policy.error());
  auto backup = at.backup.entry();
  if (!backup) return failed(backup.error());
  auto marker = at.marker.entry();
  if (!marker) return failed(marker.error());
  // Never over an older backup: it holds the file as it was before our first
  // change. Nor of a file we wrote ourselves (the marker says so): restoring
  // that at switch-off would leave the policy in force.
  if (*policy && !*backup && !*marker) {
    // Ours, in our folder: a restore writes its bytes with the owner and bits
    // the policy file has then.
    if (auto copied = write(at.backup, (*policy)->bytes, std::nullopt); !copied) return failed(copied.error());
    platform::crashPoint("policy backed up");
  }

  plist::Dictionary policies;
  if (*policy) {
    auto parsed = plist::parse(std::string_view((*policy)->bytes));
    if (!parsed) return failed(parsed.error());
    if (auto* dictionary = parsed->as<plist::Dictionary>()) policies = std::move(*dictionary);
  }
  policies.insert_or_assign(std::string(kWebRTCPolicyKey), ours());
  auto xml = plist::toXml(plist::Value(std::move(policies)));
  if (!xml) return failed(xml.error());
  // The marker first: a policy file of ours without it would never be taken back.
  const std::string marking(kMarkerContent);
  if (auto marked = at.marker.folder.write(at.marker.name, marking, kFileMode, ::geteuid(), ::getegid()); !marked)
    return failed(marked.error());
  platform::crashPoint("marker written");
  // The administrator's owner and bits stay: whoever could edit the file still can.
  if (auto written = write(at.policy, *xml, *policy); !written) return failed(written.error());
  platform::crashPoint("policy written");
  return kDone;
}

// With the marker: take back what this daemon set, and only that. A file
// still as we wrote it gives way to the backup, byte for byte (or goes, when
// there was none); a file the administrator changed since stays theirs, with
// only our key put back as it was before, and only while it holds our value.
Outcome takeBack(const Places& at) {
  auto policy = find(at.policy);
  if (!policy) return failed(policy.error());
  auto backup = find(at.backup);
  if (!backup) return failed(backup.error());

  plist::Dictionary before;  // the policies before our first change
  if (*backup) before = policiesOf((*backup)->bytes).value_or(plist::Dictionary{});
  plist::Dictionary asWritten = before;
  asWritten.insert_or_assign(std::string(kWebRTCPolicyKey), ours());

  auto current = *policy ? policiesOf((*policy)->bytes) : std::nullopt;
  if (current && plist::Value(*current) == plist::Value(asWritten)) {
    if (*backup) {
      if (auto restored = write(at.policy, (*backup)->bytes, *policy); !restored) return failed(restored.error());
      platform::crashPoint("policy restored");
    } else {
      if (auto removed = at.policy.remove(); !removed) return failed(removed.error());
      platform::crashPoint("policy removed");
    }
  } else if (current) {
    auto key = current->find(std::string(kWebRTCPolicyKey));
    if (key != current->end() && key->second == ours()) {
      auto earlier = before.find(std::string(kWebRTCPolicyKey));
      if (earlier != before.end()) key->second = earlier->second;
      else current->erase(key);
      auto xml = plist::toXml(plist::Value(std::move(*current)));
      if (!xml) return failed(xml.error());
      if (auto written = write(at.policy, *xml, *policy); !written) return failed(written.error());
      platform::crashPoint("policy taken back");
    }
  }
  if (*backup) {
    if (auto removed = at.backup.remove(); !removed) return failed(removed.error());
    platform::crashPoint("backup removed");
  }
  // The marker goes last: until then a switch-off stopped half way is done
  // again, and every step above is harmless done twice.
  if (auto removed = at.marker.remove(); !removed) return failed(removed.error());
  platform::crashPoint("marker removed");
  return kDone;
}

// A backup without our marker is never put back: a switch-on that stopped
// before its marker left the policy file as it was, and anyone else's file
// there is no backup of ours.
Outcome dropUnvouchedBackup(const Places& at) {
  if (auto removed = at.backup.remove(); !removed) return failed(removed.error());
  platform::crashPoint("backup dropped");
  return kDone;
}

Outcome switchOff(const Places& at) {
  auto marker = at.marker.entry();
  if (!marker) return failed(marker.error());
  if (*marker) return takeBack(at);
  auto backup = at.backup.entry();
  if (!backup) return failed(backup.error());
  if (*backup) return dropUnvouchedBackup(at);
  return kDone;
}

}  // namespace

Outcome configureChromeWebRTC(bool enabled, const ChromePolicyPaths& paths) {
  auto places = placesOf(paths);
  if (!places) return failed(places.error());
  return enabled ? switchOn(*places) : switchOff(*places);
}

Outcome finishInterruptedChromeSwitch(const ChromePolicyPaths& paths) {
  auto places = placesOf(paths);
  if (!places) return failed(places.error());
  auto backup = places->backup.entry();
  if (!backup) return failed(backup.error());
  auto marker = places->marker.entry();
  if (!marker) return failed(marker.error());
  if (*backup && !*marker) return dropUnvouchedBackup(*places);
  if (!*marker) return kDone;
  // Our marker over a policy file that does not hold our value (or over
  // none): a switch-off stopped between its steps, or a switch-on before its
  // file, whose failure the application took as off. Either way the
  // protection is not in force, and the switch-off is finished.
  auto policy = find(places->policy);
  if (!policy) return failed(policy.error());
  auto current = *policy ? policiesOf((*policy)->bytes) : std::nullopt;
  auto key = current ? current->find(std::string(kWebRTCPolicyKey)) : plist::Dictionary::iterator();
  if (current && key != current->end() && key->second == ours()) return kDone;
  return takeBack(*places);
}

}  // namespace tavlune::helperd
