// Reading the network preferences file. Writers replace it by rename, so a
// read without a lock still sees one whole file.
#pragma once

#include <string>

#include "platform/error.h"
#include "platform/sysconfig/network_preferences.h"

namespace tavlune::platform::sysconfig {

// The preferences at path; fails when the file is missing, unreadable, larger
// than the property-list layer accepts, or not a dictionary.
Result<NetworkPreferences> readPreferencesFile(const std::string& path);

}  // namespace tavlune::platform::sysconfig
