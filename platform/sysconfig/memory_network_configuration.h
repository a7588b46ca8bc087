// A network configuration held in memory, for tests: the services and the
// live proxies are what the test sets. Readers may run on any thread; a test
// changes the fields while none runs, or through the locked helpers.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/sysconfig/network_configuration.h"

namespace tavlune::platform::sysconfig {

class MemoryNetworkConfiguration final : public NetworkConfiguration {
 public:
  Result<std::vector<NetworkService>> currentServices() override {
    std::lock_guard lock(mutex_);
    return services;
  }
  Result<plist::Value> liveProxies() override {
    std::lock_guard lock(mutex_);
    return live;
  }

  // An enabled or disabled service on interface "en<index>".
  void addService(const std::string& name, plist::Dictionary proxies, bool enabled = true) {
    std::lock_guard lock(mutex_);
    NetworkService service;
    service.serviceID = std::to_string(services ? services->size() : 0);
    service.name = name;
    service.enabled = enabled;
    service.hasInterface = true;
    service.bsdName = "en" + service.serviceID;
    service.proxies = plist::Value(std::move(proxies));
    if (services) services->push_back(std::move(service));
  }
  void setProxies(std::size_t index, plist::Dictionary proxies) {
    std::lock_guard lock(mutex_);
    (*services)[index].proxies = plist::Value(std::move(proxies));
  }
  void setLive(plist::Dictionary proxies) {
    std::lock_guard lock(mutex_);
    live = plist::Value(std::move(proxies));
  }

  Result<std::vector<NetworkService>> services = std::vector<NetworkService>{};
  Result<plist::Value> live = plist::Value(plist::Dictionary{});

 private:
  std::mutex mutex_;
};

}  // namespace tavlune::platform::sysconfig
