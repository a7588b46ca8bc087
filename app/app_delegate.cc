#include "app/app_delegate.h"

#include "manager/mac_proxy_manager.h"

namespace tavlune::app {

void AppDelegate::applicationDidFinishLaunching(Application& application) {
  FlutterAppDelegate::applicationDidFinishLaunching(application);
  manager::MacProxyManager::shared().cleanupOrphanedConnection();
}

TerminateReply AppDelegate::applicationShouldTerminate(Application& application) {
  // Never refused: the manager's completion comes on the main queue after
  // everything queued before it, whatever the take-back gave.
  manager::MacProxyManager::shared().disconnectForTermination(
      [&application] { application.replyToApplicationShouldTerminate(true); });
  return TerminateReply::terminateLater;
}

}  // namespace tavlune::app
