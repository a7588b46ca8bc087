// Network preferences for a simulated machine, a benchmark or a test, built
// from a short description of its services.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/plist/value.h"
#include "platform/sysconfig/network_preferences.h"

namespace tavlune::sim {

// Preferences for a simulated machine or a test: one set holding the given
// services, current, with the service order given (seed order by default).
struct InterfaceSeed {
  std::optional<std::string> deviceName;  // the BSD name; absent for e.g. a modem or VPN
  std::string type = "Ethernet";
  std::string name;
};

struct ServiceSeed {
  std::string serviceID;
  std::optional<std::string> name;
  std::optional<InterfaceSeed> interface;
  bool enabled = true;
  std::optional<platform::plist::Value> proxies;
};

struct PreferencesSeed {
  std::string setID = "5A7E1D2C-0000-4000-8000-000000000001";
  std::string setName = "Automatic";
  std::vector<ServiceSeed> services;
  std::optional<std::vector<std::string>> serviceOrder;
};

platform::sysconfig::NetworkPreferences seededPreferences(const PreferencesSeed& seed);

}  // namespace tavlune::sim
