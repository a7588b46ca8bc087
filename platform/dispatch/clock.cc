#include "platform/dispatch/clock.h"

#include <thread>

namespace tavlune::platform {

int64_t SystemClock::nowMilliseconds() {
  auto since = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
}

void SystemClock::sleep(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

bool SystemClock::sleepUnlessCancelled(std::chrono::milliseconds duration, const Cancellation& cancellation) {
  return cancellation.waitFor(duration);
}

}  // namespace tavlune::platform
