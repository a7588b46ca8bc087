// The network configuration read from the preferences file on every call; no
// state is kept between calls.
#pragma once

#include <string>

#include "platform/sysconfig/network_configuration.h"
#include "platform/sysconfig/network_preferences.h"

namespace tavlune::platform::sysconfig {

class FileNetworkConfiguration final : public NetworkConfiguration {
 public:
  explicit FileNetworkConfiguration(std::string path = NetworkPreferences::path) : path_(std::move(path)) {}

  Result<std::vector<NetworkService>> currentServices() override;
  Result<plist::Value> liveProxies() override;

 private:
  std::string path_;
};

}  // namespace tavlune::platform::sysconfig
