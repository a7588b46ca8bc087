#include "sim/networksetup/service_lookup.h"

namespace tavlune::sim {

namespace pl = platform::plist;

platform::Result<std::optional<std::string>> serviceIDNamed(const platform::sysconfig::NetworkPreferences& preferences,
                                                            std::string_view name) {
  auto services = preferences.orderedServices();
  if (!services) return unexpected(services.error());
  for (const auto& service : *services) {
    if (service.name && *service.name == name) return std::optional<std::string>(service.serviceID);
  }
  return std::optional<std::string>();
}

pl::Dictionary* mutableProxies(pl::Dictionary& root, const std::string& serviceID) {
  auto services = root.find("NetworkServices");
  if (services == root.end()) return nullptr;
  pl::Dictionary* all = services->second.as<pl::Dictionary>();
  if (!all) return nullptr;
  auto service = all->find(serviceID);
  if (service == all->end()) return nullptr;
  pl::Dictionary* entity = service->second.as<pl::Dictionary>();
  if (!entity) return nullptr;
  pl::Value& proxies = (*entity)["Proxies"];
  if (!proxies.is<pl::Dictionary>()) proxies = pl::Value(pl::Dictionary{});
  return proxies.as<pl::Dictionary>();
}

}  // namespace tavlune::sim
