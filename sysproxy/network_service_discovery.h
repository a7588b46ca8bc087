// The network services whose proxy settings this system changes, each with
// its current proxy settings captured as a binary property list.
#pragma once

#include <vector>

#include "model/mac_proxy_error.h"
#include "model/records.h"
#include "platform/sysconfig/network_configuration.h"

namespace tavlune::sysproxy {

// Every enabled, named service of the current set on an interface with a BSD
// name, in the platform's enumeration order. A service without a proxy
// dictionary gets an empty one. Fails with noNetworkService when the
// configuration cannot be read, or with the serialiser's error. Reads only.
model::ManagerResult<std::vector<model::MacNetworkServiceSnapshot>> enabledNetworkServices(
    platform::sysconfig::NetworkConfiguration& configuration);

}  // namespace tavlune::sysproxy
