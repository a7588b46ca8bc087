// The machine's network configuration, from the platform's adapter: the
// preferences file read by the project's own parser on Linux,
// SystemConfiguration on macOS.
#pragma once

#include <memory>

#include "platform/sysconfig/network_configuration.h"

namespace tavlune::platform::sysconfig {

std::shared_ptr<NetworkConfiguration> systemNetworkConfiguration();

}  // namespace tavlune::platform::sysconfig
