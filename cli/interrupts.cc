#include "cli/interrupts.h"

#include <signal.h>

namespace tavlune::cli {
namespace {

volatile sig_atomic_t presses = 0;
struct sigaction previous {};

void counted(int) { presses = presses + 1; }

}  // namespace

InterruptCounter::InterruptCounter() {
  presses = 0;
  struct sigaction action {};
  action.sa_handler = counted;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: the waits poll, and a read of standard input should end.
  sigaction(SIGINT, &action, &previous);
}

InterruptCounter::~InterruptCounter() { sigaction(SIGINT, &previous, nullptr); }

int InterruptCounter::count() const { return presses; }

}  // namespace tavlune::cli
