// A clock for tests: sleeping returns at once, is recorded, and moves the time on.
#pragma once

#include <mutex>
#include <vector>

#include "platform/dispatch/clock.h"

namespace tavlune::platform {

class RecordingClock final : public Clock {
 public:
  explicit RecordingClock(int64_t startMilliseconds = 0) : now_(startMilliseconds) {}

  int64_t nowMilliseconds() override {
    std::lock_guard lock(mutex_);
    return now_;
  }
  void sleep(std::chrono::milliseconds duration) override {
    std::lock_guard lock(mutex_);
    sleeps_.push_back(duration);
    now_ += duration.count();
  }

  std::vector<std::chrono::milliseconds> sleeps() {
    std::lock_guard lock(mutex_);
    return sleeps_;
  }
  void setNow(int64_t milliseconds) {
    std::lock_guard lock(mutex_);
    now_ = milliseconds;
  }

 private:
  std::mutex mutex_;
  int64_t now_;
  std::vector<std::chrono::milliseconds> sleeps_;
};

}  // namespace tavlune::platform
