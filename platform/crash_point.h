// Crash points: the steps after which a process may die at the worst moment
// (a record written, a request handed to the helper, a policy file replaced).
// Built in only with TAVLUNE_CRASH_POINTS, for the tests that kill a program
// at each such step in turn; otherwise crashPoint() is nothing at all.
//
// With TAVLUNE_CRASH_AT="PROGRAM:N" in its environment, the program whose
// name is PROGRAM kills itself with SIGKILL at its N-th crash point; with
// "PROGRAM:N:stop" it stops itself there instead (SIGSTOP), a program that
// hangs at the worst moment and never answers. With
// TAVLUNE_CRASH_LOG=PATH, every program appends "PROGRAM NAME" for each point
// it passes, so that a test knows how many points a flow has.
#pragma once

#if defined(TAVLUNE_CRASH_POINTS)
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cstdlib>
#include <string>
#include <string_view>
#endif

namespace tavlune::platform {

#if defined(TAVLUNE_CRASH_POINTS)

inline void crashPoint(std::string_view name) {
  static const std::string program = program_invocation_short_name;
  static int ending = SIGKILL;
  static const long target = [] {
    const char* setting = std::getenv("TAVLUNE_CRASH_AT");
    std::string_view text = setting ? setting : "";
    if (!text.starts_with(program + ":")) return 0L;
    text.remove_prefix(program.size() + 1);
    if (text.ends_with(":stop")) {
      text.remove_suffix(5);
      ending = SIGSTOP;
    }
    long n = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    return error == std::errc() && end == text.data() + text.size() ? n : 0L;
  }();
  static std::atomic<long> passed{0};
  if (const char* log = std::getenv("TAVLUNE_CRASH_LOG"); log && *log) {
    const std::string line = program + " " + std::string(name) + "\n";
    int fd = ::open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
      (void)!::write(fd, line.data(), line.size());
      ::close(fd);
    }
  }
  if (++passed == target) ::kill(::getpid(), ending);
}

#else

inline void crashPoint(const char*) {}

#endif

}  // namespace tavlune::platform
