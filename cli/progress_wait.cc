#include "cli/progress_wait.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "cli/interrupts.h"

namespace tavlune::cli {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kSlice{100};

enum class Terminal { none, plain, escapes };

Terminal standardErrorTerminal() {
  if (!::isatty(STDERR_FILENO)) return Terminal::none;
  const char* term = std::getenv("TERM");
  return term && *term && std::strcmp(term, "dumb") != 0 ? Terminal::escapes : Terminal::plain;
}

class ProgressLine {
 public:
  ProgressLine(const std::string& label) : label_(label), terminal_(label.empty() ? Terminal::none : standardErrorTerminal()) {}
  ~ProgressLine() { clear(); }

  void show(long seconds) {
    if (terminal_ == Terminal::escapes) {
      std::fprintf(stderr, "\r%s \xE2\x80\xA6 %lds\033[K", label_.c_str(), seconds);
      std::fflush(stderr);
      onScreen_ = true;
    } else if (terminal_ == Terminal::plain && !written_) {
      // Without cursor movement the line cannot be redrawn: it says once what is awaited.
      std::fprintf(stderr, "%s \xE2\x80\xA6\n", label_.c_str());
      written_ = true;
    }
  }
  // Before a message of the caller's: a line of its own, over the terminal's "^C" too.
  void makeRoom() {
    const Terminal terminal = standardErrorTerminal();
    if (terminal == Terminal::escapes) std::fputs("\r\033[K", stderr);
    else if (terminal == Terminal::plain) std::fputs("\n", stderr);
    std::fflush(stderr);
    onScreen_ = false;
  }
  void clear() {
    if (!onScreen_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    onScreen_ = false;
  }

 private:
  std::string label_;
  Terminal terminal_;
  bool onScreen_ = false;
  bool written_ = false;
};

}  // namespace

bool standardErrorTakesEscapes() { return standardErrorTerminal() == Terminal::escapes; }

WaitEnd waitWithProgress(const WaitPlan& plan, const std::function<bool(std::chrono::milliseconds)>& ready) {
  ProgressLine line(plan.label);
  std::optional<InterruptCounter> interrupts;
  if (plan.onInterrupt) interrupts.emplace();
  int handled = 0;
  long shownSeconds = 0;
  const auto start = Clock::now();
  for (;;) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    if (elapsed >= plan.limit) return WaitEnd::timedOut;
    if (ready(std::min(kSlice, plan.limit - elapsed))) return WaitEnd::ready;
    if (interrupts && interrupts->count() > handled) {
      line.makeRoom();
      shownSeconds = 0;
      while (handled < interrupts->count())
        if (plan.onInterrupt(++handled)) return WaitEnd::stopped;
    }
    // Fast answers never flash a line: it appears after the first second.
    const long seconds = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count();
    if (seconds >= 1 && seconds != shownSeconds) {
      line.show(seconds);
      shownSeconds = seconds;
    }
  }
}

}  // namespace tavlune::cli
