#include "manager/mac_proxy_manager.h"

#include "frontendprotocol/channels.h"
#include "frontendprotocol/keys.h"
#include "manager/flutter_values.h"
#include "model/record_store.h"

namespace tavlune::manager {
namespace {

using channel::EncodableMap;
using channel::EncodableValue;
using model::MacProxyError;
namespace vpn = frontendprotocol::vpn;

// A map whose keys are all text, the only argument shape the manager reads.
const EncodableMap* textKeyedMap(const EncodableValue* arguments) {
  const auto* map = arguments ? std::get_if<EncodableMap>(arguments) : nullptr;
  if (!map) return nullptr;
  for (const auto& [key, value] : *map)
    if (!std::holds_alternative<std::string>(key)) return nullptr;
  return map;
}

// "enabled" when it is a boolean; on in every other case.
bool webRtcProtectionEnabled(const EncodableValue* arguments) {
  const EncodableMap* map = textKeyedMap(arguments);
  if (!map) return true;
  auto entry = map->find(EncodableValue(frontendprotocol::kEnabledKey));
  if (entry == map->end()) return true;
  const bool* enabled = std::get_if<bool>(&entry->second);
  return enabled ? *enabled : true;
}

void replyError(channel::MethodResult& result, const model::AnyError& error) {
  result.Error(flutterError(error));
}

}  // namespace

MacProxyManager::MacProxyManager(MacProxyEnvironment environment, std::shared_ptr<ProxyOperations> operations)
    : environment_(std::move(environment)), operations_(std::move(operations)) {}

bool MacProxyManager::hasStoredState() {
  return model::loadRecord<model::MacProxyConnectionState>(*environment_.defaults).has_value();
}

void MacProxyManager::cleanupOrphanedConnection() { operations_->cleanupOrphanedConnection(); }

void MacProxyManager::disconnectForTermination(std::function<void()> completion) {
  operations_->disconnectForTermination(std::move(completion));
}

void MacProxyManager::handle(const channel::MethodCall& call, MethodResultPtr result) {
  const std::string& method = call.method_name();
  const EncodableValue* arguments = call.arguments();

  if (method == vpn::kCheckVpnPermission || method == vpn::kShowLowDataAlert) {
    result->Success(EncodableValue(false));
  } else if (method == vpn::kRequestVpnPermission || method == vpn::kClearBrowserProxy ||
             method == vpn::kUpdateVpnSettings) {
    result->Success(EncodableValue(true));
  } else if (method == vpn::kConnectProxy) {
    if (const EncodableMap* map = textKeyedMap(arguments)) {
      operations_->connect(*map, std::move(result));
    } else {
      replyError(*result, MacProxyError::invalidConfiguration());
    }
  } else if (method == vpn::kDisconnectProxy) {
    operations_->disconnect(std::move(result));
  } else if (method == vpn::kSetWebRtcProtection) {
    operations_->setWebRtcProtection(webRtcProtectionEnabled(arguments), std::move(result));
  } else if (method == vpn::kConfirmProxyConnection || method == vpn::kGetConnectionStatus) {
    // Without a stored state the answer needs no live reading.
    result->Success(EncodableValue(hasStoredState() && operations_->systemProxyMatchesCurrentState()));
  } else if (method == vpn::kGetConnectionState) {
    result->Success(operations_->connectionStateValue());
  } else if (method == vpn::kGetProxyPort) {
    result->Success(EncodableValue(int32_t{0}));
  } else if (method == vpn::kInspectProxy) {
    operations_->inspect(std::move(result));
  } else if (method == vpn::kEnableBrowserProxy) {
    result->Success(EncodableValue(hasStoredState()));
  } else if (method == vpn::kGetInstalledApps) {
    result->Success(EncodableValue(channel::EncodableList{}));
  } else if (method == vpn::kOpenVpnSettings) {
    result->Success(EncodableValue(environment_.workspace->open(networkSettingsURL)));
  } else {
    result->NotImplemented();
  }
}

}  // namespace tavlune::manager
