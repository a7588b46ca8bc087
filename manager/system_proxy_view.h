// The proxy settings in force, for a front end to show: each enabled
// service's, as networksetup's -get commands show them, and the live
// effective ones, as scutil --proxy does. Reads only.
#pragma once

#include "channel/encodable_value.h"
#include "platform/sysconfig/network_configuration.h"

namespace tavlune::manager {

// A map: "services", a list of maps, each with "name" and the settings, and
// "live", the settings. The settings: "web", "secureWeb" and "socks" (each
// "enabled", and "host", "port", "user" when set), "autoConfig" ("enabled",
// "url" when set), "autoDiscovery" and "bypass" (a list of texts). What
// cannot be read is left out, and "problem" says why.
channel::EncodableValue systemProxyView(platform::sysconfig::NetworkConfiguration& network);

}  // namespace tavlune::manager
