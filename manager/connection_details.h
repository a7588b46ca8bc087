// The shell's read-only view of the connection, answered on its own channel:
// what "getConnectionState" leaves out (the proxy's host and port, the
// services pointed at it, Chrome's WebRTC protection), without the
// reconciliation that query does. Reads only; changes nothing.
#pragma once

#include <string>

#include "channel/encodable_value.h"
#include "helperprotocol/protocol.h"
#include "manager/mac_proxy_manager.h"
#include "platform/defaults/user_defaults.h"
#include "platform/sysconfig/network_configuration.h"

namespace tavlune::manager {

// A map: "phase" ("connected" while a connection state is stored, else
// "offline"), "webRtcProtection" (Chrome's policy file sets the protection)
// and "takeBackPending" (offline, yet a stored snapshot is still to be put
// back: the settings are still Tavlune's, their take-back unfinished); while
// connected also the state's channel form plus "host", "port", "services"
// (the enabled services whose settings point at the proxy) and
// "systemMatches" (the live system proxy is the stored one).
channel::EncodableValue connectionDetails(platform::UserDefaults& defaults,
                                          platform::sysconfig::NetworkConfiguration& network,
                                          const std::string& chromePolicyPath = std::string(helperprotocol::kChromePolicyPath),
                                          const std::string& snapshotCopyPath = "");
// The same, from the manager's own stores.
channel::EncodableValue connectionDetails(const MacProxyEnvironment& environment);

}  // namespace tavlune::manager
