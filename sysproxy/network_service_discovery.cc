#include "sysproxy/network_service_discovery.h"

#include "platform/plist/plist.h"

namespace tavlune::sysproxy {

namespace pl = platform::plist;
using model::MacNetworkServiceSnapshot;
using model::MacProxyError;

model::ManagerResult<std::vector<MacNetworkServiceSnapshot>> enabledNetworkServices(
    platform::sysconfig::NetworkConfiguration& configuration) {
  auto services = configuration.currentServices();
  if (!services) return unexpected(MacProxyError::noNetworkService());

  std::vector<MacNetworkServiceSnapshot> listed;
  for (const auto& service : *services) {
    // Only the BSD name's presence counts, not its value or the interface type.
    if (!service.enabled || !service.name || !service.hasInterface || !service.bsdName) continue;
    const pl::Dictionary* dictionary = service.proxies ? service.proxies->as<pl::Dictionary>() : nullptr;
    auto blob = pl::toBinary(pl::Value(dictionary ? *dictionary : pl::Dictionary{}));
    if (!blob) return unexpected(blob.error());
    listed.push_back({*service.name, std::move(*blob)});
  }
  return listed;
}

}  // namespace tavlune::sysproxy
