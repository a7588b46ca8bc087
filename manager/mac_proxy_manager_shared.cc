#include <mutex>

#include "manager/mac_proxy_manager.h"
#include "platform/defaults/file_user_defaults.h"

namespace tavlune {

// The process's main queue; the application's run loop serves it.
std::shared_ptr<platform::MainQueue> sharedMainQueue() {
  static auto queue = std::make_shared<platform::MainQueue>();
  return queue;
}

MacProxyManager& MacProxyManager::shared() {
  // Built on first use, thread-safely, and never destroyed: work items still
  // queued at exit must find it.
  static MacProxyManager* manager = [] {
    MacProxyEnvironment environment{
        std::make_shared<platform::FileUserDefaults>(platform::FileUserDefaults::standardPath()),
        std::make_shared<platform::DesktopWorkspace>(),
        sharedMainQueue(),
        std::make_shared<platform::SerialQueue>(queueLabel),
        std::make_shared<platform::SystemClock>(),
    };
    // The connect, disconnect, state and WebRTC operations are not part of
    // this build yet; until they are, their rows answer not-implemented.
    return new MacProxyManager(std::move(environment), nullptr);
  }();
  return *manager;
}

}  // namespace tavlune
