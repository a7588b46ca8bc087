#include "manager/proxy_flows.h"

#include "manager/record_store.h"
#include "sysproxy/network_service_discovery.h"
#include "sysproxy/proxy_inspection.h"
#include "sysproxy/restore_commands.h"

namespace tavlune {
namespace {

using channel::EncodableMap;
using channel::EncodableValue;

EncodableValue offlineValue() {
  return EncodableValue(EncodableMap{{EncodableValue("phase"), EncodableValue("offline")}});
}

}  // namespace

void ProxyFlows::replyLater(const SharedResult& result, EncodableValue value) {
  env_.mainQueue->async([result, value = std::move(value)] { result->Success(value); });
}

void ProxyFlows::replyLater(const SharedResult& result, const AnyError& error) {
  env_.mainQueue->async([result, flutter = flutterError(error)] { result->Error(flutter); });
}

void ProxyFlows::replyLater(const SharedResult& result, const ManagerResult<void>& outcome) {
  if (outcome) {
    replyLater(result, EncodableValue(true));
  } else {
    replyLater(result, outcome.error());
  }
}

void ProxyFlows::removeRecords(std::initializer_list<const char*> keys) {
  for (const char* key : keys) (void)remove(*env_.defaults, key);
}

std::vector<std::string> ProxyFlows::servicesAtGateway() {
  std::vector<std::string> names;
  auto services = enabledNetworkServices(*env_.network);
  if (!services) return names;
  for (const auto& service : *services)
    if (containsTavluneGateway(service.configuration)) names.push_back(service.name);
  return names;
}

ManagerResult<void> ProxyFlows::restoreSnapshot() {
  // A snapshot without services has nothing to put back, and its empty line
  // would only be refused by the helper, keeping the records for ever.
  std::string restore = disconnectCommand(*env_.defaults);
  if (restore.empty() || restore == ":") return {};
  return env_.helper->runHelperCommand(restore);
}

ManagerResult<void> ProxyFlows::performDisconnect() {
  auto& defaults = *env_.defaults;
  if (load<MacProxySnapshot>(defaults, MacProxyManager::snapshotKey)) {
    if (auto restored = restoreSnapshot(); !restored) return restored;
  } else if (auto atGateway = servicesAtGateway(); !atGateway.empty()) {
    if (auto off = env_.helper->runHelperCommand(disableProxyCommand(atGateway)); !off) return off;
  }
  // Never installs the helper just for this.
  if (env_.helper->helperIsAvailable()) (void)env_.helper->runHelperCommand("chrome-webrtc-off");

  // Settings are back; a record that cannot be removed would show a
  // connection that no longer exists, so that is reported.
  std::optional<AnyError> failure;
  for (const char* key : {MacProxyManager::stateKey, MacProxyManager::snapshotKey, MacProxyManager::diagnosticKey})
    if (auto removed = remove(defaults, key); !removed && !failure) failure = removed.error();
  if (failure) return unexpected(*failure);
  return {};
}

void ProxyFlows::disconnect(MethodResultPtr result) {
  env_.queue->async([this, result = SharedResult(std::move(result))] { replyLater(result, performDisconnect()); });
}

bool ProxyFlows::systemProxyMatchesCurrentState() {
  return tavlune::systemProxyMatchesCurrentState(*env_.defaults, *env_.network);
}

EncodableValue ProxyFlows::connectionStateValue() {
  auto state = load<MacProxyConnectionState>(*env_.defaults, MacProxyManager::stateKey);
  if (!state) return offlineValue();
  if (systemProxyMatchesCurrentState()) return flutterValue(*state);
  // A connect still on its way has stored its state before the system shows
  // it; dropping the state then would break that connect.
  if (connectsInFlight_.load() > 0) return offlineValue();
  cleanupOrphanedConnection();
  removeRecords({MacProxyManager::stateKey, MacProxyManager::diagnosticKey});
  return offlineValue();
}

void ProxyFlows::inspect(MethodResultPtr result) {
  auto& defaults = *env_.defaults;
  if (!load<MacProxyConnectionState>(defaults, MacProxyManager::stateKey) || !systemProxyMatchesCurrentState()) {
    result->Error(flutterError(MacProxyError::validationFailed("No Tavlune proxy is active.")));
    return;
  }
  auto diagnostic = load<MacProxyDiagnostic>(defaults, MacProxyManager::diagnosticKey);
  if (!diagnostic) {
    result->Error(flutterError(MacProxyError::validationFailed("Proxy information is unavailable.")));
    return;
  }
  result->Success(flutterValue(*diagnostic));
}

void ProxyFlows::cleanupOrphanedConnection() {
  env_.queue->async([this] {
    if (load<MacProxySnapshot>(*env_.defaults, MacProxyManager::snapshotKey)) {
      (void)performDisconnect();  // on failure every record stays for the next attempt
      return;
    }
    if (auto atGateway = servicesAtGateway(); !atGateway.empty()) {
      if (env_.helper->runHelperCommand(disableProxyCommand(atGateway)))
        (void)env_.helper->runHelperCommand("chrome-webrtc-off");
    }
    removeRecords({MacProxyManager::stateKey, MacProxyManager::diagnosticKey});
  });
}

MacProxyError ProxyFlows::quitting() { return MacProxyError::commandFailed("Tavlune is quitting."); }

void ProxyFlows::disconnectForTermination(std::function<void()> completion) {
  terminating_ = true;
  env_.queue->async([this, completion = std::move(completion)] {
    (void)performDisconnect();
    env_.mainQueue->async(completion);
  });
}

void ProxyFlows::setWebRtcProtection(bool enabled, MethodResultPtr result) {
  if (terminating_) {
    result->Error(flutterError(quitting()));
    return;
  }
  env_.queue->async([this, enabled, result = SharedResult(std::move(result))] {
    if (!load<MacProxyConnectionState>(*env_.defaults, MacProxyManager::stateKey))
      return replyLater(result, EncodableValue(true));
    replyLater(result, env_.helper->runHelperCommand(enabled ? "chrome-webrtc-on" : "chrome-webrtc-off"));
  });
}

}  // namespace tavlune
