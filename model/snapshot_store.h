// The snapshot holds the only copy of the user's own settings while a
// connection is in force, so it is kept twice: in user defaults, as every
// record, and in a file of the application's own beside it, with a checksum,
// so that one damaged or lost file cannot lose them. docs/records.md says how
// the two are read back.
#pragma once

#include <optional>
#include <string>

#include "model/records.h"
#include "platform/defaults/user_defaults.h"
#include "platform/error.h"

namespace tavlune::model {

struct StoredSnapshot {
  MacProxySnapshot snapshot;
  // Found in user defaults alone, with no file copy at all: a take-back
  // removes the file first, so this is what one leaves when it put the
  // settings back but could not remove the rest. Only for a snapshot that
  // names its proxy: older builds kept no file.
  bool copyRemoved = false;
};

class SnapshotStore {
 public:
  // copyPath empty: user defaults alone (the dispatcher's tests).
  SnapshotStore(platform::UserDefaults& defaults, std::string copyPath)
      : defaults_(defaults), copyPath_(std::move(copyPath)) {}

  // The file's copy when its checksum holds and it decodes, else the one in
  // user defaults when it decodes: a damaged copy is never taken over a good
  // one, and only the file can show that it is whole.
  std::optional<StoredSnapshot> loadStored();
  std::optional<MacProxySnapshot> load();
  // Both copies, the file first; a failure of either is the error.
  platform::Result<void> save(const MacProxySnapshot& snapshot);
  // Both copies, the file first, whatever it gave; the first failure is the
  // error.
  platform::Result<void> remove();

 private:
  platform::UserDefaults& defaults_;
  std::string copyPath_;
};

}  // namespace tavlune::model
