// Time as the manager sees it: wall-clock milliseconds and sleeping. Waiting
// goes through this port so that tests check pauses without sleeping them.
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/dispatch/cancellation.h"

namespace tavlune::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Whole milliseconds since 1970-01-01 00:00:00 UTC, truncated toward zero.
  virtual int64_t nowMilliseconds() = 0;
  virtual void sleep(std::chrono::milliseconds duration) = 0;
  // The same pause, ended early by the cancel: true when it was not cancelled.
  // By default the whole pause is slept, between two checks.
  virtual bool sleepUnlessCancelled(std::chrono::milliseconds duration, const Cancellation& cancellation) {
    if (cancellation.cancelled()) return false;
    sleep(duration);
    return !cancellation.cancelled();
  }
};

class SystemClock final : public Clock {
 public:
  int64_t nowMilliseconds() override;
  void sleep(std::chrono::milliseconds duration) override;
  bool sleepUnlessCancelled(std::chrono::milliseconds duration, const Cancellation& cancellation) override;
};

}  // namespace tavlune::platform
