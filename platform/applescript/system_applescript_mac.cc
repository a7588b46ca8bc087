#include "platform/applescript/applescript.h"

namespace tavlune::platform {

std::shared_ptr<AppleScript> systemAppleScript() { return std::make_shared<OsascriptAppleScript>(); }

}  // namespace tavlune::platform
