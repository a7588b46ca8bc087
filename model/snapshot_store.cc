#include "model/snapshot_store.h"

#include <cstdio>

#include "model/record_store.h"
#include "platform/crash_point.h"
#include "platform/files/files.h"
#include "platform/text/crc32.h"

namespace tavlune::model {
namespace {

// The file: the CRC-32 of the record's JSON as eight hexadecimal digits, one
// space, then the JSON itself, as user defaults hold it.
constexpr std::size_t kChecksumLength = 8;
constexpr std::size_t kMaxCopyBytes = 16 * 1024 * 1024;

std::string checksumOf(std::string_view json) {
  char text[kChecksumLength + 1];
  std::snprintf(text, sizeof text, "%08x", platform::text::crc32(json));
  return text;
}

std::optional<MacProxySnapshot> decodeCopy(std::string_view file) {
  if (file.size() <= kChecksumLength || file[kChecksumLength] != ' ') return std::nullopt;
  std::string_view json = file.substr(kChecksumLength + 1);
  if (file.substr(0, kChecksumLength) != checksumOf(json)) return std::nullopt;
  auto parsed = platform::json::parse(json);
  if (!parsed) return std::nullopt;
  return recordFromJson<MacProxySnapshot>(*parsed);
}

}  // namespace

std::optional<StoredSnapshot> SnapshotStore::loadStored() {
  // The file can prove itself whole; user defaults cannot, so they come second.
  bool fileGone = false;
  if (!copyPath_.empty()) {
    auto file = platform::files::readIfPresent(copyPath_, kMaxCopyBytes);
    fileGone = file && !*file;
    if (file && *file) {
      if (auto copy = decodeCopy(**file)) return StoredSnapshot{std::move(*copy), false};
    }
  }
  auto stored = loadRecord<MacProxySnapshot>(defaults_);
  if (!stored) return std::nullopt;
  const bool copyRemoved = fileGone && stored->proxy.has_value();
  return StoredSnapshot{std::move(*stored), copyRemoved};
}

std::optional<MacProxySnapshot> SnapshotStore::load() {
  auto stored = loadStored();
  if (!stored) return std::nullopt;
  return std::move(stored->snapshot);
}

platform::Result<void> SnapshotStore::save(const MacProxySnapshot& snapshot) {
  if (!copyPath_.empty()) {
    auto json = platform::json::serialize(toJson(snapshot));
    if (!json) return unexpected(json.error());
    if (auto made = platform::files::makeDirectories(platform::files::parentDirectory(copyPath_), 0700); !made)
      return made;
    if (auto written = platform::files::writeAtomically(copyPath_, checksumOf(*json) + " " + *json, 0600); !written)
      return written;
    platform::crashPoint("snapshot copy saved");
  }
  return saveRecord(defaults_, snapshot);
}

platform::Result<void> SnapshotStore::remove() {
  // The file first: should the rest fail (a full disk still allows this), the
  // copy in user defaults is known to be taken back already.
  platform::Result<void> gone;
  if (!copyPath_.empty() && platform::files::exists(copyPath_)) {
    gone = platform::files::remove(copyPath_);
    if (gone) platform::crashPoint("snapshot copy removed");
  }
  auto removed = removeRecord<MacProxySnapshot>(defaults_);
  if (!gone) return gone;
  return removed;
}

}  // namespace tavlune::model
