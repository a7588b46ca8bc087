#include "platform/applescript/applescript.h"

namespace tavlune::platform {

std::shared_ptr<AppleScript> systemAppleScript() {
  return std::make_shared<ShellAppleScript>(std::make_shared<HostApprovalPrompt>());
}

}  // namespace tavlune::platform
