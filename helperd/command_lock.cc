#include "helperd/command_lock.h"

#include <thread>

namespace tavlune::helperd {

Expected<platform::files::ExclusiveLock, Outcome> takeCommandLock(const std::string& path,
                                                                   std::chrono::milliseconds wait) {
  constexpr std::chrono::milliseconds kPoll{50};
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    auto lock = platform::files::ExclusiveLock::tryAcquire(path);
    if (lock) return std::move(*lock);
    if (!lock.error().heldByAnother) return unexpected(Outcome{false, lock.error().error.description});
    if (std::chrono::steady_clock::now() >= deadline) return unexpected(Outcome{false, std::string(kEarlierLineText)});
    std::this_thread::sleep_for(kPoll);
  }
}

}  // namespace tavlune::helperd
