#include "platform/sysconfig/file_network_configuration.h"

#include "platform/sysconfig/preferences_file.h"

namespace tavlune::platform::sysconfig {

Result<std::vector<NetworkService>> FileNetworkConfiguration::currentServices() {
  auto preferences = readPreferencesFile(path_);
  if (!preferences) return unexpected(preferences.error());
  return preferences->currentServices();
}

Result<plist::Value> FileNetworkConfiguration::liveProxies() {
  auto preferences = readPreferencesFile(path_);
  if (!preferences) return unexpected(preferences.error());
  return preferences->primaryProxies();
}

}  // namespace tavlune::platform::sysconfig
