// The running application's user defaults, from the platform's adapter: a
// preferences file of the project's own on Linux, CFPreferences on macOS.
#pragma once

#include <memory>

#include "platform/defaults/user_defaults.h"

namespace tavlune::platform {

std::shared_ptr<UserDefaults> standardUserDefaults();

}  // namespace tavlune::platform
