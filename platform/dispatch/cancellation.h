// A request to stop, made on one thread and seen on others: by a check
// between steps, by a wait that ends early, and by poll() on a descriptor,
// so that a loop draining a child's pipes wakes for it too.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "platform/descriptors/self_pipe.h"

namespace tavlune::platform {

class Cancellation {
 public:
  Cancellation();
  Cancellation(const Cancellation&) = delete;
  Cancellation& operator=(const Cancellation&) = delete;

  // From any thread, any number of times; only the first counts.
  void cancel();
  bool cancelled() const;
  // Readable once cancelled; -1 when no pipe could be made, where only the
  // checks and waits see the cancel.
  int descriptor() const { return pipe_ ? pipe_->readFd() : -1; }
  // Waits for duration or the cancel: true when the whole duration passed.
  bool waitFor(std::chrono::milliseconds duration) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool cancelled_ = false;
  std::optional<SelfPipe> pipe_;
};

}  // namespace tavlune::platform
