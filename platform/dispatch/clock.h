// Time as the manager sees it: wall-clock milliseconds and sleeping. Waiting
// goes through this port so that tests check pauses without sleeping them.
#pragma once

#include <chrono>
#include <cstdint>

namespace tavlune::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Whole milliseconds since 1970-01-01 00:00:00 UTC, truncated toward zero.
  virtual int64_t nowMilliseconds() = 0;
  virtual void sleep(std::chrono::milliseconds duration) = 0;
};

class SystemClock final : public Clock {
 public:
  int64_t nowMilliseconds() override;
  void sleep(std::chrono::milliseconds duration) override;
};

}  // namespace tavlune::platform
