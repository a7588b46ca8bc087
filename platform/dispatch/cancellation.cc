#include "platform/dispatch/cancellation.h"

#include <fcntl.h>
#include <unistd.h>

namespace tavlune::platform {

Cancellation::Cancellation() {
  // pipe() and FD_CLOEXEC rather than pipe2, which not every POSIX system has;
  // children started meanwhile close what they inherit (platform/process).
  int fds[2];
  if (::pipe(fds) != 0) return;
  for (int fd : fds) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  read_.reset(fds[0]);
  write_.reset(fds[1]);
}

void Cancellation::cancel() {
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) return;
    cancelled_ = true;
  }
  changed_.notify_all();
  // One byte, never read: the descriptor stays readable from now on.
  if (write_) (void)!::write(write_.get(), "x", 1);
}

bool Cancellation::cancelled() const {
  std::lock_guard lock(mutex_);
  return cancelled_;
}

bool Cancellation::waitFor(std::chrono::milliseconds duration) const {
  std::unique_lock lock(mutex_);
  return !changed_.wait_for(lock, duration, [this] { return cancelled_; });
}

}  // namespace tavlune::platform
