// The application object, as AppKit's NSApplication is to the shell: it owns
// the main run loop, tells its delegate about launch and quit, and keeps the
// windows so that closing the last one can end the application.
#pragma once

#include <memory>
#include <vector>

#include "platform/dispatch/main_queue.h"

namespace tavlune::app {

class Application;
class Window;

enum class TerminateReply { terminateCancel, terminateNow, terminateLater };

class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  virtual void applicationDidFinishLaunching(Application& application) = 0;
  virtual TerminateReply applicationShouldTerminate(Application& application) = 0;
  virtual bool applicationShouldTerminateAfterLastWindowClosed(Application& application) = 0;
  virtual bool applicationSupportsSecureRestorableState(Application& application) = 0;
};

class Application {
 public:
  // mainQueue is the queue the run loop serves: the process's main queue.
  explicit Application(std::shared_ptr<platform::MainQueue> mainQueue);
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  void setDelegate(ApplicationDelegate* delegate) { delegate_ = delegate; }
  ApplicationDelegate* delegate() const { return delegate_; }
  const std::shared_ptr<platform::MainQueue>& mainQueue() const { return mainQueue_; }

  // Tells the delegate that launching has finished, then serves the main
  // queue on the calling thread until a quit is answered yes.
  void run();

  // A quit request. The delegate decides; while its deferred answer is
  // pending, further requests change nothing. Main thread only.
  void terminate();
  // The delegate's deferred answer; true ends the run loop.
  void replyToApplicationShouldTerminate(bool shouldTerminate);
  bool terminationPending() const { return terminationPending_; }

  // Windows report themselves here.
  void windowDidOpen(Window* window);
  void windowDidClose(Window* window);

 private:
  std::shared_ptr<platform::MainQueue> mainQueue_;
  ApplicationDelegate* delegate_ = nullptr;
  std::vector<Window*> openWindows_;
  bool terminationPending_ = false;
  bool terminated_ = false;
};

}  // namespace tavlune::app
