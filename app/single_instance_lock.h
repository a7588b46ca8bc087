// One TavluneDesktop per user: two would race each other over the records in
// user defaults and over the channel socket.
#pragma once

#include <string>

#include "platform/files/files.h"
#include "platform/result.h"

namespace tavlune::app {

struct LockError {
  bool heldByAnother = false;
  std::string description;
};

class SingleInstanceLock {
 public:
  // An exclusive lock on path, created 0600 if missing; the holder's process
  // id is written into it for the refusal message. The lock goes with the
  // process, so a crash never leaves it held.
  static Expected<SingleInstanceLock, LockError> acquire(const std::string& path);

 private:
  explicit SingleInstanceLock(platform::files::ExclusiveLock lock) : lock_(std::move(lock)) {}
  // Closing releases the lock; the file stays, as removing it would race a newcomer.
  platform::files::ExclusiveLock lock_;
};

}  // namespace tavlune::app
