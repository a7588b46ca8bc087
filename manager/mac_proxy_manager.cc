#include "manager/mac_proxy_manager.h"


#include "manager/mac_proxy_error.h"
#include "manager/record_store.h"

namespace tavlune {
namespace {

using channel::EncodableMap;
using channel::EncodableValue;

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
  auto entry = map->find(EncodableValue("enabled"));
  if (entry == map->end()) return true;
  const bool* enabled = std::get_if<bool>(&entry->second);
  return enabled ? *enabled : true;
}

void replyError(channel::MethodResult& result, const AnyError& error) {
  result.Error(flutterError(error));
}

}  // namespace

MacProxyManager::MacProxyManager(MacProxyEnvironment environment, std::shared_ptr<ProxyOperations> operations)
    : environment_(std::move(environment)), operations_(std::move(operations)) {}

bool MacProxyManager::hasStoredState() {
  return load<MacProxyConnectionState>(*environment_.defaults, stateKey).has_value();
}

void MacProxyManager::cleanupOrphanedConnection() {
  if (operations_) operations_->cleanupOrphanedConnection();
}

void MacProxyManager::disconnectForTermination(std::function<void()> completion) {
  if (operations_) return operations_->disconnectForTermination(std::move(completion));
  // Nothing to take back, but the answer still waits for the queue's earlier work.
  environment_.queue->async([main = environment_.mainQueue, completion = std::move(completion)] {
    main->async(completion);
  });
}

void MacProxyManager::handle(const channel::MethodCall& call, MethodResultPtr result) {
  const std::string& method = call.method_name();
  const EncodableValue* arguments = call.arguments();
  // Rows that rest on the long-running operations answer not-implemented in a
  // build without them, rather than pretend.
  auto withOperations = [&](auto&& use) {
    if (operations_) {
      use(*operations_);
    } else {
      result->NotImplemented();
    }
  };

  if (method == "checkVpnPermission" || method == "showLowDataAlert") {
    result->Success(EncodableValue(false));
  } else if (method == "requestVpnPermission" || method == "clearBrowserProxy" || method == "updateVpnSettings") {
    result->Success(EncodableValue(true));
  } else if (method == "connectProxy") {
    const EncodableMap* map = textKeyedMap(arguments);
    if (!map) {
      replyError(*result, MacProxyError::invalidConfiguration());
    } else {
      withOperations([&](ProxyOperations& operations) { operations.connect(*map, std::move(result)); });
    }
  } else if (method == "disconnectProxy") {
    withOperations([&](ProxyOperations& operations) { operations.disconnect(std::move(result)); });
  } else if (method == "setWebRtcProtection") {
    bool enabled = webRtcProtectionEnabled(arguments);
    withOperations([&](ProxyOperations& operations) { operations.setWebRtcProtection(enabled, std::move(result)); });
  } else if (method == "confirmProxyConnection" || method == "getConnectionStatus") {
    if (!hasStoredState()) {
      result->Success(EncodableValue(false));
    } else {
      withOperations([&](ProxyOperations& operations) {
        result->Success(EncodableValue(operations.systemProxyMatchesCurrentState()));
      });
    }
  } else if (method == "getConnectionState") {
    withOperations([&](ProxyOperations& operations) { result->Success(operations.connectionStateValue()); });
  } else if (method == "getProxyPort") {
    result->Success(EncodableValue(int32_t{0}));
  } else if (method == "inspectProxy") {
    withOperations([&](ProxyOperations& operations) { operations.inspect(std::move(result)); });
  } else if (method == "enableBrowserProxy") {
    result->Success(EncodableValue(hasStoredState()));
  } else if (method == "getInstalledApps") {
    result->Success(EncodableValue(channel::EncodableList{}));
  } else if (method == "openVpnSettings") {
    result->Success(EncodableValue(environment_.workspace->open(networkSettingsURL)));
  } else {
    result->NotImplemented();
  }
}

}  // namespace tavlune
