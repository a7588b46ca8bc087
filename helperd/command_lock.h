// Command lines run one at a time, and never while processes of an earlier
// one still run: a line's shell, and every program it starts, hold the lock
// through a descriptor they inherit, so the lock lasts until the last of them
// has ended, even past the end of the daemon that started them (killed, with
// its shell left behind).
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "helperd/outcome.h"
#include "platform/files/files.h"

namespace tavlune::helperd {

inline constexpr std::string_view kCommandLockPath = "/var/run/com.tavlune.proxyhelper.lock";
// Well within the client's deadline for a line, which still has to run.
inline constexpr std::chrono::milliseconds kEarlierLineWait{10'000};
inline constexpr std::string_view kEarlierLineText =
    "An earlier proxy command is still running; nothing was changed. Try again in a moment.";

// Waits up to wait for the lock; a failure is the reply, and nothing runs.
Expected<platform::files::ExclusiveLock, Outcome> takeCommandLock(const std::string& path,
                                                                   std::chrono::milliseconds wait);

}  // namespace tavlune::helperd
