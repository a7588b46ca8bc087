#include "app/application.h"

#include <algorithm>
#include <utility>

namespace tavlune::app {

Application::Application(std::shared_ptr<platform::MainQueue> mainQueue) : mainQueue_(std::move(mainQueue)) {}

void Application::run() {
  mainQueue_->async([this] {
    if (delegate_) delegate_->applicationDidFinishLaunching(*this);
  });
  mainQueue_->run();
}

void Application::terminate() {
  if (terminationPending_ || terminated_) return;
  const TerminateReply reply = delegate_ ? delegate_->applicationShouldTerminate(*this) : TerminateReply::terminateNow;
  switch (reply) {
    case TerminateReply::terminateNow:
      terminationPending_ = true;
      replyToApplicationShouldTerminate(true);
      break;
    case TerminateReply::terminateLater:
      terminationPending_ = true;
      break;
    case TerminateReply::terminateCancel:
      break;
  }
}

void Application::replyToApplicationShouldTerminate(bool shouldTerminate) {
  if (!terminationPending_) return;
  terminationPending_ = false;
  if (!shouldTerminate) return;
  terminated_ = true;
  mainQueue_->stop();
}

void Application::windowDidOpen(Window* window) {
  if (std::find(openWindows_.begin(), openWindows_.end(), window) == openWindows_.end())
    openWindows_.push_back(window);
}

void Application::windowDidClose(Window* window) {
  std::erase(openWindows_, window);
  if (!openWindows_.empty() || !delegate_ || !delegate_->applicationShouldTerminateAfterLastWindowClosed(*this))
    return;
  // As AppKit does, after the close has finished rather than inside it.
  mainQueue_->async([this] { terminate(); });
}

}  // namespace tavlune::app
