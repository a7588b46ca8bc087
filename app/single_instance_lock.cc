#include "app/single_instance_lock.h"

#include <unistd.h>

#include <utility>

namespace tavlune::app {
namespace {

// The process id the holder wrote, for the message; empty if unreadable.
std::string holderOf(const std::string& path) {
  auto text = platform::files::read(path, 31);
  if (!text) return {};
  while (!text->empty() && (text->back() == '\n' || text->back() == ' ')) text->pop_back();
  return text->find_first_not_of("0123456789") == std::string::npos ? *text : std::string();
}

}  // namespace

Expected<SingleInstanceLock, LockError> SingleInstanceLock::acquire(const std::string& path) {
  // The lock file is close-on-exec: a child (curl, bash) never carries our lock past our end.
  auto lock = platform::files::ExclusiveLock::tryAcquire(path);
  if (!lock && lock.error().heldByAnother) {
    const std::string holder = holderOf(path);
    return unexpected(LockError{true, "TavluneDesktop is already running for this user (" +
                                          (holder.empty() ? std::string() : "process " + holder + ", ") +
                                          "lock held on " + path + ")."});
  }
  if (!lock) return unexpected(LockError{false, lock.error().error.description});
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(lock->fd(), 0) == 0) (void)::pwrite(lock->fd(), pid.data(), pid.size(), 0);
  return SingleInstanceLock(std::move(*lock));
}

}  // namespace tavlune::app
