// macOS's network preferences schema over one property-list dictionary:
//
//   CurrentSet        "/Sets/<set id>"
//   Sets/<set id>/Network/Service/<service id>   {"__LINK__": "/NetworkServices/<service id>"}
//   Sets/<set id>/Network/Global/IPv4/ServiceOrder   [<service id>, ...]
//   NetworkServices/<service id>   {UserDefinedName, Interface{DeviceName, Type,
//                                   UserDefinedName}, Proxies{...}, __INACTIVE__}
//
// Property-list dictionaries carry no order, so the platform's enumeration
// order of a set's services is taken as the order of their ids; that keeps it
// stable from one read to the next. The primary service follows the set's
// service order instead, as the platform's routing does.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/plist/value.h"
#include "platform/sysconfig/network_configuration.h"

namespace tavlune::platform::sysconfig {

class NetworkPreferences {
 public:
  static constexpr const char* path = "/Library/Preferences/SystemConfiguration/preferences.plist";

  explicit NetworkPreferences(plist::Dictionary root = {}) : root_(std::move(root)) {}

  // Any property-list format; the top level must be a dictionary.
  static Result<NetworkPreferences> fromBytes(std::span<const uint8_t> bytes);
  Result<plist::Data> toBinary() const;

  const plist::Dictionary& root() const { return root_; }

  // The current set's services in enumeration order.
  Result<std::vector<NetworkService>> currentServices() const;
  // The same services, the set's service order first, then the rest in
  // enumeration order; ids in the order that belong to no service are skipped.
  Result<std::vector<NetworkService>> orderedServices() const;
  // The "Proxies" of the first ordered service that is enabled and sits on an
  // interface with a BSD name; an empty dictionary when there is none.
  Result<plist::Value> primaryProxies() const;

  // The id of the current set's first ordered service named exactly name.
  Result<std::optional<std::string>> serviceIDNamed(std::string_view name) const;
  // The "Proxies" dictionary of a service in NetworkServices, made a
  // dictionary when missing or of another type. nullptr for an unknown id.
  plist::Dictionary* mutableProxies(const std::string& serviceID);

 private:
  Result<const plist::Dictionary*> currentSet() const;

  plist::Dictionary root_;
};

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
  std::optional<plist::Value> proxies;
};

struct PreferencesSeed {
  std::string setID = "5A7E1D2C-0000-4000-8000-000000000001";
  std::string setName = "Automatic";
  std::vector<ServiceSeed> services;
  std::optional<std::vector<std::string>> serviceOrder;
};

NetworkPreferences seededPreferences(const PreferencesSeed& seed);

}  // namespace tavlune::platform::sysconfig
