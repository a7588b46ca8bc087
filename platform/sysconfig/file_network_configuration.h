// The network configuration read from the preferences file. The file is read
// on every call; its parse is kept and used again while its bytes stay the same.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/sysconfig/network_configuration.h"
#include "platform/sysconfig/network_preferences.h"

namespace tavlune::platform::sysconfig {

class FileNetworkConfiguration final : public NetworkConfiguration {
 public:
  explicit FileNetworkConfiguration(std::string path = NetworkPreferences::path) : path_(std::move(path)) {}

  // Safe from several threads: the state queries and a connect ask at once.
  Result<std::vector<NetworkService>> currentServices() override;
  Result<plist::Value> liveProxies() override;

 private:
  struct Parsed {
    std::string bytes;
    NetworkPreferences preferences;
    Result<plist::Value> live;
  };
  Result<std::shared_ptr<const Parsed>> load();

  std::string path_;
  std::mutex mutex_;
  std::shared_ptr<const Parsed> last_;
};

}  // namespace tavlune::platform::sysconfig
