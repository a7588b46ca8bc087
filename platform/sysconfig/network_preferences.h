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

  const plist::Dictionary& root() const { return root_; }

  // The current set's services in enumeration order.
  Result<std::vector<NetworkService>> currentServices() const;
  // The same services, the set's service order first, then the rest in
  // enumeration order; ids in the order that belong to no service are skipped.
  Result<std::vector<NetworkService>> orderedServices() const;
  // The "Proxies" of the first ordered service that is enabled and sits on an
  // interface with a BSD name; an empty dictionary when there is none.
  Result<plist::Value> primaryProxies() const;

 private:
  Result<const plist::Dictionary*> currentSet() const;

  plist::Dictionary root_;
};

}  // namespace tavlune::platform::sysconfig
