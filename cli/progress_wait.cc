#include "cli/progress_wait.h"

#include <sys/ioctl.h>
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

// The text cut to at most columns characters (UTF-8 sequences kept whole).
std::string cut(const std::string& text, std::size_t columns) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (++characters > columns) return text.substr(0, i);
  }
  return text;
}

std::size_t terminalColumns() {
  winsize size{};
  return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

class ProgressLine {
 public:
  // Without a label of its own there is no line.
  explicit ProgressLine(const std::string& label) : terminal_(label.empty() ? Terminal::none : standardErrorTerminal()) {}
  ~ProgressLine() { clear(); }

  void show(const std::string& label, long seconds) {
    if (terminal_ == Terminal::escapes) {
      // A line longer than the terminal wraps, and "\r" then redraws only its end.
      const std::string counter = " \xE2\x80\xA6 " + std::to_string(seconds) + "s";
      const std::size_t columns = terminalColumns(), room = columns > 12 ? columns - 12 : columns;
      std::fprintf(stderr, "\r%s%s\033[K", cut(label, room).c_str(), counter.c_str());
      std::fflush(stderr);
      onScreen_ = true;
    } else if (terminal_ == Terminal::plain && label != written_) {
      // Without cursor movement the line cannot be redrawn: it says once what is awaited, and again when that changes.
      std::fprintf(stderr, "%s \xE2\x80\xA6\n", label.c_str());
      written_ = label;
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
  Terminal terminal_;
  bool onScreen_ = false;
  std::string written_;
};

}  // namespace

bool standardErrorTakesEscapes() { return standardErrorTerminal() == Terminal::escapes; }

WaitEnd waitWithProgress(const WaitPlan& plan, const std::function<bool(std::chrono::milliseconds)>& ready) {
  ProgressLine line(plan.label);
  std::optional<InterruptCounter> interrupts;
  if (plan.onInterrupt) interrupts.emplace();
  int handled = 0;
  long shownSeconds = 0;
  std::string shownLabel;
  const auto start = Clock::now();
  for (;;) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    if (elapsed >= plan.limit) return WaitEnd::timedOut;
    if (ready(std::min(kSlice, plan.limit - elapsed))) return WaitEnd::ready;
    if (interrupts && interrupts->count() > handled) {
      shownSeconds = 0;
      // Room for each press's message, also for a press that came while the last was handled.
      while (handled < interrupts->count()) {
        line.makeRoom();
        if (plan.onInterrupt(++handled)) return WaitEnd::stopped;
      }
    }
    // Fast answers never flash a line: it appears after the first second.
    const long seconds = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count();
    std::string label = plan.liveLabel ? plan.liveLabel() : std::string();
    if (label.empty()) label = plan.label;
    if (seconds >= 1 && (seconds != shownSeconds || label != shownLabel)) {
      line.show(label, seconds);
      shownSeconds = seconds;
      shownLabel = label;
    }
  }
}

}  // namespace tavlune::cli
