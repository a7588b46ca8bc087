// The system's network configuration as the proxy code reads it: the services
// of the current network set, and the live effective proxy settings.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/plist/value.h"

namespace tavlune::platform::sysconfig {

// One service of the current set, described as the platform gives it; the
// caller decides which of them count.
struct NetworkService {
  std::string serviceID;
  std::optional<std::string> name;      // absent when the service has none
  bool enabled = true;
  bool hasInterface = false;
  std::optional<std::string> bsdName;   // the interface's BSD name, e.g. "en0"
  std::optional<plist::Value> proxies;  // the "Proxies" configuration as stored, of any type
};

class NetworkConfiguration {
 public:
  virtual ~NetworkConfiguration() = default;

  // The current set's services in the platform's enumeration order (not the
  // set's service order). Fails when the preferences cannot be read, name no
  // current set, or the set has no readable service list. Reads only.
  virtual Result<std::vector<NetworkService>> currentServices() = 0;

  // The live effective proxy settings: the "Proxies" of the primary service,
  // as stored (normally a dictionary); an empty dictionary when there is no
  // primary service or it has no proxy configuration. Fails when the
  // preferences cannot be read.
  virtual Result<plist::Value> liveProxies() = 0;
};

}  // namespace tavlune::platform::sysconfig
