#include "app/single_instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/error.h"

namespace tavlune::app {
namespace {

// The process id the holder wrote, for the message; empty if unreadable.
std::string holderOf(int fd) {
  char buffer[32] = {};
  ssize_t count = ::pread(fd, buffer, sizeof buffer - 1, 0);
  std::string text = count > 0 ? std::string(buffer, static_cast<size_t>(count)) : std::string();
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text.find_first_not_of("0123456789") == std::string::npos ? text : std::string();
}

}  // namespace

Expected<SingleInstanceLock, LockError> SingleInstanceLock::Acquire(const std::string& path) {
  int fd;
  do {
    // Close-on-exec: a child (curl, bash) must never carry our lock past our end.
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return unexpected(LockError{false, platform::Error::fromErrno("Could not open " + path).description});
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    const int error = errno;
    LockError failure{error == EWOULDBLOCK, ""};
    if (failure.heldByAnother) {
      const std::string holder = holderOf(fd);
      failure.description = "TavluneDesktop is already running for this user (" +
                            (holder.empty() ? std::string() : "process " + holder + ", ") + "lock held on " + path + ").";
    } else {
      failure.description = platform::Error::fromErrno("Could not lock " + path, error).description;
    }
    ::close(fd);
    return unexpected(std::move(failure));
  }
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) == 0) (void)::pwrite(fd, pid.data(), pid.size(), 0);
  return SingleInstanceLock(fd);
}

SingleInstanceLock::SingleInstanceLock(SingleInstanceLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

SingleInstanceLock::~SingleInstanceLock() {
  // Closing releases the lock; the file stays, as removing it would race a newcomer.
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace tavlune::app
