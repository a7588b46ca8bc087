// Finding a service of the current set by its name, and its proxy settings to
// change, in the preferences the networksetup stand-in edits.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/plist/value.h"
#include "platform/sysconfig/network_preferences.h"

namespace tavlune::sim {

// The id of the current set's first ordered service named exactly name.
platform::Result<std::optional<std::string>> serviceIDNamed(const platform::sysconfig::NetworkPreferences& preferences,
                                                            std::string_view name);

// The "Proxies" dictionary of a service in NetworkServices of root, made a
// dictionary when missing or of another type. nullptr for an unknown id.
platform::plist::Dictionary* mutableProxies(platform::plist::Dictionary& root, const std::string& serviceID);

}  // namespace tavlune::sim
