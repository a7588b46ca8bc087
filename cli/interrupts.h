// Ctrl-C while tavlune waits for a change that TavluneDesktop has begun: the
// change goes on whatever tavlune does, so instead of ending at once tavlune
// counts the presses and lets the waiting say what happens.
#pragma once

namespace tavlune::cli {

class InterruptCounter {
 public:
  // Catches SIGINT until destroyed; the earlier disposition comes back then.
  InterruptCounter();
  ~InterruptCounter();
  InterruptCounter(const InterruptCounter&) = delete;
  InterruptCounter& operator=(const InterruptCounter&) = delete;

  // Presses since construction.
  int count() const;
};

}  // namespace tavlune::cli
