#include "sim/preferences/preferences_seed.h"

namespace tavlune::sim {

namespace pl = platform::plist;
using platform::sysconfig::NetworkPreferences;

NetworkPreferences seededPreferences(const PreferencesSeed& seed) {
  pl::Dictionary setServices;
  pl::Dictionary services;
  pl::Array order;
  for (const ServiceSeed& s : seed.services) {
    setServices[s.serviceID] = pl::Value(pl::Dictionary{{"__LINK__", pl::Value("/NetworkServices/" + s.serviceID)}});
    pl::Dictionary service;
    if (s.name) service["UserDefinedName"] = pl::Value(*s.name);
    if (s.interface) {
      pl::Dictionary interface{{"Type", pl::Value(s.interface->type)},
                               {"UserDefinedName", pl::Value(s.interface->name)}};
      if (s.interface->deviceName) interface["DeviceName"] = pl::Value(*s.interface->deviceName);
      service["Interface"] = pl::Value(std::move(interface));
    }
    if (!s.enabled) service["__INACTIVE__"] = pl::Value(int64_t{1});
    if (s.proxies) service["Proxies"] = *s.proxies;
    services[s.serviceID] = pl::Value(std::move(service));
    order.push_back(pl::Value(s.serviceID));
  }
  if (seed.serviceOrder) {
    order.clear();
    for (const std::string& id : *seed.serviceOrder) order.push_back(pl::Value(id));
  }
  pl::Dictionary ipv4{{"ServiceOrder", pl::Value(std::move(order))}};
  pl::Dictionary global{{"IPv4", pl::Value(std::move(ipv4))}};
  pl::Dictionary network{{"Global", pl::Value(std::move(global))}, {"Service", pl::Value(std::move(setServices))}};
  pl::Dictionary set{{"Network", pl::Value(std::move(network))}, {"UserDefinedName", pl::Value(seed.setName)}};
  pl::Dictionary root;
  root["CurrentSet"] = pl::Value("/Sets/" + seed.setID);
  root["Sets"] = pl::Value(pl::Dictionary{{seed.setID, pl::Value(std::move(set))}});
  root["NetworkServices"] = pl::Value(std::move(services));
  return NetworkPreferences(std::move(root));
}

}  // namespace tavlune::sim
