#include "platform/dispatch/cancellation.h"

namespace tavlune::platform {

Cancellation::Cancellation() {
  if (auto pipe = SelfPipe::open(SelfPipe::Reading::blocking, "Could not create the cancel pipe")) pipe_.emplace(std::move(*pipe));
}

void Cancellation::cancel() {
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) return;
    cancelled_ = true;
  }
  changed_.notify_all();
  // One byte, never read: the descriptor stays readable from now on.
  if (pipe_) (void)pipe_->wake('x');
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
