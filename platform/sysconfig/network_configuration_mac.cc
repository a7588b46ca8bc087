// The network configuration as SystemConfiguration gives it. Services come
// from the network preferences (SCPreferences), opened afresh on every call so
// that each sees the current state and calls on several threads share
// nothing. The live proxies come from the dynamic store, where the platform
// publishes the effective settings of the primary service.
#include <CoreFoundation/CoreFoundation.h>
#include <SystemConfiguration/SystemConfiguration.h>

#include <string>
#include <utility>

#include "platform/mac/cf_plist.h"
#include "platform/sysconfig/system_network_configuration.h"

namespace tavlune::platform::sysconfig {
namespace {

using mac::CFRef;

// SCError() is per thread and describes the last failed call on it.
Error systemConfigurationError(const std::string& call) {
  return Error{call + ": " + SCErrorString(SCError())};
}

// Empty text and text that is not valid Unicode count as none.
std::optional<std::string> textOf(CFStringRef text) {
  if (!text) return std::nullopt;
  auto utf8 = mac::utf8String(text);
  if (!utf8 || utf8->empty()) return std::nullopt;
  return std::move(*utf8);
}

// The service's name, interface and proxies are lent by the service and the
// protocol object; they are read before either is released.
Result<NetworkService> describe(SCNetworkServiceRef service) {
  NetworkService described;
  described.serviceID = textOf(SCNetworkServiceGetServiceID(service)).value_or("");
  described.name = textOf(SCNetworkServiceGetName(service));
  described.enabled = SCNetworkServiceGetEnabled(service);
  if (SCNetworkInterfaceRef interface = SCNetworkServiceGetInterface(service)) {
    described.hasInterface = true;
    described.bsdName = textOf(SCNetworkInterfaceGetBSDName(interface));
  }
  auto protocol = CFRef<SCNetworkProtocolRef>::adopt(SCNetworkServiceCopyProtocol(service, kSCNetworkProtocolTypeProxies));
  if (!protocol) return described;
  CFDictionaryRef configuration = SCNetworkProtocolGetConfiguration(protocol.get());
  if (!configuration) return described;
  // A configuration that cannot be carried over fails the listing: taking it
  // as "no proxies" would let a connect overwrite settings it never saved.
  auto proxies = mac::fromPropertyList(configuration);
  if (!proxies) return unexpected(proxies.error());
  described.proxies = std::move(*proxies);
  return described;
}

class SCNetworkConfiguration final : public NetworkConfiguration {
 public:
  Result<std::vector<NetworkService>> currentServices() override {
    // The caller's name tells the platform who holds the preferences open.
    auto preferences = CFRef<SCPreferencesRef>::adopt(SCPreferencesCreate(nullptr, CFSTR("Tavlune"), nullptr));
    if (!preferences) return unexpected(systemConfigurationError("SCPreferencesCreate"));
    auto set = CFRef<SCNetworkSetRef>::adopt(SCNetworkSetCopyCurrent(preferences.get()));
    if (!set) return unexpected(systemConfigurationError("SCNetworkSetCopyCurrent"));
    auto services = CFRef<CFArrayRef>::adopt(SCNetworkSetCopyServices(set.get()));
    if (!services) return unexpected(systemConfigurationError("SCNetworkSetCopyServices"));

    std::vector<NetworkService> result;
    const CFIndex count = CFArrayGetCount(services.get());
    for (CFIndex i = 0; i < count; ++i) {
      const void* item = CFArrayGetValueAtIndex(services.get(), i);
      if (!item || CFGetTypeID(item) != SCNetworkServiceGetTypeID()) {
        return unexpected(Error{"The current network set lists something that is not a network service."});
      }
      auto described = describe(static_cast<SCNetworkServiceRef>(item));
      if (!described) return unexpected(described.error());
      result.push_back(std::move(*described));
    }
    return result;
  }

  Result<plist::Value> liveProxies() override {
    // No store reference: the platform opens and closes a session itself.
    auto proxies = CFRef<CFDictionaryRef>::adopt(SCDynamicStoreCopyProxies(nullptr));
    if (!proxies) return unexpected(systemConfigurationError("SCDynamicStoreCopyProxies"));
    return mac::fromPropertyList(proxies.get());
  }
};

}  // namespace

std::shared_ptr<NetworkConfiguration> systemNetworkConfiguration() {
  return std::make_shared<SCNetworkConfiguration>();
}

}  // namespace tavlune::platform::sysconfig
