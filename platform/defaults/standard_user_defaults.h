// The running application's user defaults, from the platform's adapter: a
// preferences file of the project's own on Linux, CFPreferences on macOS.
#pragma once

#include <memory>
#include <string>

#include "platform/defaults/user_defaults.h"

namespace tavlune::platform {

// The defaults of the application with this bundle identifier.
std::shared_ptr<UserDefaults> standardUserDefaults(const std::string& bundleIdentifier);

}  // namespace tavlune::platform
