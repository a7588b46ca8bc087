// How long one exchange with the helper may take, from connecting to the last
// byte of the reply. A helper that has not answered by then is taken as hung:
// the exchange fails, and what it asked for has an unknown outcome. The
// numbers and how they were chosen: docs/helper-protocol.md.
#pragma once

#include <chrono>
#include <cstddef>
#include <string_view>

namespace tavlune::helperclient {

// "ping" asks nothing of the system; a helper that is alive answers at once.
inline constexpr std::chrono::milliseconds kPingDeadline{5'000};
// Before installing, a probe waits for a helper that is there but not
// answering yet: one that launchd is starting again (it waits up to 10 s
// between restarts), and one serving other connections, one at a time, each
// of which may hold it for the daemon's 5 s request time-out.
inline constexpr std::chrono::milliseconds kRestartPatience{12'000};
inline constexpr std::chrono::milliseconds kBusyPatience{60'000};
// The Chrome policy switches and any other fixed command: a few file writes.
inline constexpr std::chrono::milliseconds kFixedCommandDeadline{20'000};
// A command line: a fixed part for the shell and the exchange, and a share
// for each networksetup run in it.
inline constexpr std::chrono::milliseconds kCommandLineDeadline{20'000};
inline constexpr std::chrono::milliseconds kPerInvocationDeadline{1'000};

// The number of networksetup runs in a command line: the times the tool's
// path occurs in it, which no quoted value of a line the helper accepts can hold.
std::size_t invocationCount(std::string_view command);

std::chrono::milliseconds exchangeDeadline(std::string_view command);

}  // namespace tavlune::helperclient
