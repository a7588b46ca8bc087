// The system clock, counting what it sleeps: the pauses a flow asks for are
// waiting by design, so a figure of the flow's own work leaves them out.
#pragma once

#include <chrono>
#include <mutex>

#include "platform/dispatch/clock.h"

namespace tavlune::bench {

class PauseSummingClock final : public platform::Clock {
 public:
  struct Totals {
    int pauses = 0;
    std::chrono::milliseconds asked{0};
    // As slept: the asked time plus the scheduler's lateness in waking up.
    std::chrono::duration<double, std::milli> slept{0};
  };

  int64_t nowMilliseconds() override { return system_.nowMilliseconds(); }

  void sleep(std::chrono::milliseconds duration) override {
    auto before = std::chrono::steady_clock::now();
    system_.sleep(duration);
    auto took = std::chrono::steady_clock::now() - before;
    std::lock_guard lock(mutex_);
    ++totals_.pauses;
    totals_.asked += duration;
    totals_.slept += took;
  }

  Totals totals() {
    std::lock_guard lock(mutex_);
    return totals_;
  }

 private:
  platform::SystemClock system_;
  std::mutex mutex_;
  Totals totals_;
};

inline PauseSummingClock::Totals operator-(const PauseSummingClock::Totals& a, const PauseSummingClock::Totals& b) {
  return {a.pauses - b.pauses, a.asked - b.asked, a.slept - b.slept};
}

}  // namespace tavlune::bench
