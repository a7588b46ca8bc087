// Waiting for a reply that may take seconds: within a time limit, with a line
// on a terminal that says what is being waited for and for how long, and,
// where asked, with Ctrl-C counted instead of ending tavlune.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace tavlune::cli {

enum class WaitEnd { ready, timedOut, stopped };

struct WaitPlan {
  std::string label;  // the progress line's text; empty: no line
  // When set, asked at every turn of the wait for the line's text; empty
  // keeps the label.
  std::function<std::string()> liveLabel = nullptr;
  // When set, each Ctrl-C calls it with the presses so far (the progress line
  // cleared, so it may print); true stops the waiting.
  std::function<bool(int presses)> onInterrupt = nullptr;
  std::chrono::milliseconds limit{0};
};

// ready(slice) waits at most slice and answers whether the awaited thing has
// come. The progress line shows after the first second, on standard error
// when it is a terminal: updated in place (cut to the terminal's width), or,
// when TERM is dumb or unset, written without escape codes once for each
// text it takes.
WaitEnd waitWithProgress(const WaitPlan& plan, const std::function<bool(std::chrono::milliseconds slice)>& ready);

// Standard error is a terminal that takes escape codes.
bool standardErrorTakesEscapes();

}  // namespace tavlune::cli
