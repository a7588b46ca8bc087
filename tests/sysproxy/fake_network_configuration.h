// A network configuration port answering from fields the test sets.
#pragma once

#include "platform/sysconfig/network_configuration.h"

namespace tavlune::testing {

class FakeNetworkConfiguration final : public platform::sysconfig::NetworkConfiguration {
 public:
  platform::Result<std::vector<platform::sysconfig::NetworkService>> services =
      std::vector<platform::sysconfig::NetworkService>{};
  platform::Result<platform::plist::Value> live = platform::plist::Value(platform::plist::Dictionary{});

  platform::Result<std::vector<platform::sysconfig::NetworkService>> currentServices() override { return services; }
  platform::Result<platform::plist::Value> liveProxies() override { return live; }
};

}  // namespace tavlune::testing
