#include "platform/sysconfig/file_network_configuration.h"

#include "platform/files/files.h"
#include "platform/plist/limits.h"
#include "platform/sysconfig/system_network_configuration.h"

namespace tavlune::platform::sysconfig {

// Parsing is nearly all of a read's cost, and the state queries read the file
// many times between changes: comparing the bytes is cheap and never stale.
Result<std::shared_ptr<const FileNetworkConfiguration::Parsed>> FileNetworkConfiguration::load() {
  auto bytes = files::read(path_, plist::kMaxInputBytes);
  if (!bytes) return unexpected(bytes.error());
  {
    std::lock_guard lock(mutex_);
    if (last_ && last_->bytes == *bytes) return last_;
  }
  auto preferences =
      NetworkPreferences::fromBytes(std::span(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()));
  if (!preferences) return unexpected(preferences.error());
  auto live = preferences->primaryProxies();
  auto parsed = std::make_shared<const Parsed>(Parsed{std::move(*bytes), std::move(*preferences), std::move(live)});
  std::lock_guard lock(mutex_);
  last_ = parsed;
  return parsed;
}

Result<std::vector<NetworkService>> FileNetworkConfiguration::currentServices() {
  auto parsed = load();
  if (!parsed) return unexpected(parsed.error());
  return (*parsed)->preferences.currentServices();
}

Result<plist::Value> FileNetworkConfiguration::liveProxies() {
  auto parsed = load();
  if (!parsed) return unexpected(parsed.error());
  return (*parsed)->live;
}

std::shared_ptr<NetworkConfiguration> systemNetworkConfiguration() {
  return std::make_shared<FileNetworkConfiguration>();
}

}  // namespace tavlune::platform::sysconfig
