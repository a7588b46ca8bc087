// SIGTERM and SIGINT as quit requests. The handler only writes a byte to a
// pipe; a thread of ours turns it into a call of onQuit, outside the handler.
#pragma once

#include <functional>
#include <memory>
#include <thread>

#include "platform/descriptors/self_pipe.h"
#include "platform/error.h"

namespace tavlune::app {

class QuitSignals {
 public:
  // One at a time per process. onQuit runs on the watching thread.
  static platform::Result<std::unique_ptr<QuitSignals>> install(std::function<void()> onQuit);
  // Ends the thread; quit signals are ignored from then on.
  ~QuitSignals();
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

 private:
  QuitSignals(platform::SelfPipe pipe, std::function<void()> onQuit);
  void watch();

  platform::SelfPipe pipe_;
  std::function<void()> onQuit_;
  std::thread thread_;
};

}  // namespace tavlune::app
