#include <algorithm>

#include "frontendprotocol/keys.h"
#include "helperprotocol/protocol.h"
#include "manager/channel_coercion.h"
#include "manager/flutter_values.h"
#include "manager/proxy_arguments.h"
#include "manager/proxy_flows.h"
#include "model/record_store.h"
#include "sysproxy/connect_command.h"
#include "sysproxy/network_service_discovery.h"
#include "sysproxy/proxy_inspection.h"
#include "sysproxy/restore_commands.h"

namespace tavlune::manager {
namespace {

using channel::EncodableMap;
using channel::EncodableValue;
using model::loadRecord;
using model::MacNetworkServiceSnapshot;
using model::MacProxyConnectionState;
using model::MacProxyDiagnostic;
using model::MacProxyError;
using model::MacProxySnapshot;
using model::saveRecord;
using namespace frontendprotocol;  // the arguments' keys

constexpr int kConfirmationChecks = 12;
constexpr std::chrono::milliseconds kConfirmationPause{150};

std::vector<std::string> namesOf(const std::vector<MacNetworkServiceSnapshot>& services) {
  std::vector<std::string> names;
  for (const auto& service : services) names.push_back(service.name);
  return names;
}

}  // namespace

struct ProxyFlows::ConnectRequest {
  std::string host;
  int64_t port;
  std::string proxyProtocol;
  std::string username;
  std::string password;
  bool webRtcProtection;
  EncodableMap arguments;  // the descriptive fields are read after the proxy is applied
  ProofTracker::ProofPtr proof;  // where it stands, for the front ends; its cancel
};

void ProxyFlows::connect(const EncodableMap& arguments, MethodResultPtr result) {
  auto refuse = [&](MacProxyError error) { result->Error(flutterError(error)); };
  // Behind the termination take-back the process is about to end; a connect
  // queued there could leave its settings applied.
  if (terminating_) return refuse(quitting());
  auto proxy = proxyArguments(arguments);
  if (!proxy) return refuse(proxy.error());
  if (loadRecord<MacProxyConnectionState>(*env_.defaults)) return refuse(MacProxyError::existingProxy());

  const EncodableValue* webRtc = argument(arguments, kWebRtcProtectionKey);
  const bool* webRtcFlag = webRtc ? std::get_if<bool>(webRtc) : nullptr;
  auto proof = env_.connects->add(proxy->proxyProtocol, proxy->host, proxy->port);
  result = env_.connects->forgetOnReply(proof, std::move(result));
  ConnectRequest request{proxy->host,
                         proxy->port,
                         proxy->proxyProtocol,
                         proxy->username,
                         proxy->password,
                         webRtcFlag ? *webRtcFlag : true,
                         arguments,
                         proof};
  ++connectsInFlight_;
  env_.queue->async([this, request = std::move(request), result = SharedResult(std::move(result))] {
    // Cancelled while it waited: nothing of it runs.
    if (env_.connects->start(*request.proof)) runConnect(request, result);
    else replyLater(result, ProofTracker::cancelledError());
    --connectsInFlight_;
  });
}

void ProxyFlows::runConnect(const ConnectRequest& request, const SharedResult& result) {
  auto& defaults = *env_.defaults;
  // Two connects sent together both pass the entry check; the later one must
  // neither change anything nor drop the records of the earlier one.
  if (loadRecord<MacProxyConnectionState>(defaults)) return replyLater(result, MacProxyError::existingProxy());
  // A snapshot without a state holds the user's own settings, left by a
  // clean-up that failed: take them back before recording new ones.
  if (snapshots().load()) {
    if (auto back = performDisconnect(); !back) return replyLater(result, back.error());
  }

  auto services = takeOverServices();
  if (!services) return failConnect(services.error(), result);
  auto diagnostic = proveProxy(request);
  if (!diagnostic) return failConnect(diagnostic.error(), result);
  if (auto applied = applyProxy(request, *services); !applied) return failConnect(applied.error(), result);
  if (auto confirmed = recordAndConfirm(request, *diagnostic); !confirmed) return failConnect(confirmed.error(), result);
  replyLater(result, EncodableValue(true));
}

ProxyFlows::ConnectStep<std::vector<MacNetworkServiceSnapshot>> ProxyFlows::takeOverServices() {
  auto list = [this]() -> ConnectStep<std::vector<MacNetworkServiceSnapshot>> {
    auto services = sysproxy::enabledNetworkServices(*env_.network);
    if (!services) return unexpected(ConnectFailure{services.error()});
    if (services->empty()) return unexpected(ConnectFailure{MacProxyError::noNetworkService()});
    return std::move(*services);
  };
  auto services = list();
  if (!services) return services;

  std::vector<MacNetworkServiceSnapshot> proxied, atGateway;
  for (const auto& service : *services) {
    if (!sysproxy::hasEnabledProxy(service.configuration)) continue;
    proxied.push_back(service);
    if (sysproxy::containsTavluneGateway(service.configuration)) atGateway.push_back(service);
  }
  if (atGateway.size() < proxied.size()) return unexpected(ConnectFailure{MacProxyError::existingProxy()});
  if (proxied.empty()) return services;

  // Left behind by an earlier connection of this system: switch them off.
  if (auto off = runHelper(sysproxy::disableProxyCommand(namesOf(atGateway))); !off)
    return unexpected(ConnectFailure{off.error()});
  (void)switchChromeWebRtc(false);
  // Recorded as the clean-up left them: a disconnect must not point the
  // machine back at a gateway that no connection stands behind.
  return list();
}

ProxyFlows::ConnectStep<MacProxyDiagnostic> ProxyFlows::proveProxy(const ConnectRequest& request) {
  auto diagnostic = env_.diagnosis->diagnose(request.host, request.port, request.proxyProtocol, request.username,
                                             request.password, env_.connects->observer(request.proof));
  if (!diagnostic) return unexpected(ConnectFailure{diagnostic.error()});
  // From here on the system changes: a cancel that came first ends the connect.
  if (!env_.connects->commit(*request.proof)) return unexpected(ConnectFailure{ProofTracker::cancelledError()});
  return std::move(*diagnostic);
}

ProxyFlows::ConnectStep<void> ProxyFlows::applyProxy(const ConnectRequest& request,
                                                     const std::vector<MacNetworkServiceSnapshot>& services) {
  // Without the snapshot the user's settings could not be put back: a
  // connect that cannot record it must not change anything.
  // With the proxy it is taken for, by which a snapshot that a take-back put
  // back but could not remove is told from one still owed (docs/records.md).
  const model::MacSnapshotProxy proxy{request.host, request.port, request.proxyProtocol};
  if (auto saved = snapshots().save(MacProxySnapshot{services, proxy}); !saved)
    return unexpected(ConnectFailure{saved.error()});

  auto applied = env_.helper->runHelperCommand(sysproxy::connectCommand(
      namesOf(services), request.host, request.port, request.proxyProtocol, request.username, request.password));
  // Handed over, the line may have run in part or in full whatever came back.
  if (!applied) return unexpected(ConnectFailure{applied.error().error, applied.error().handedOver});

  if (!request.webRtcProtection) {
    (void)switchChromeWebRtc(false);
  } else if (auto on = switchChromeWebRtc(true); !on) {
    return unexpected(ConnectFailure{on.error(), true});
  }
  return {};
}

ProxyFlows::ConnectStep<void> ProxyFlows::recordAndConfirm(const ConnectRequest& request,
                                                           const MacProxyDiagnostic& diagnostic) {
  const auto& arguments = request.arguments;
  auto descriptive = [&](const char* key) { return text(argument(arguments, key)); };
  auto profileId = descriptive(kProfileIdKey);
  if (!profileId) profileId = descriptive(kIdKey);
  MacProxyConnectionState state{request.host,
                                request.port,
                                request.proxyProtocol,
                                descriptive(kConnectionTypeKey).value_or("manual"),
                                profileId,
                                integer(argument(arguments, kSessionIdKey)).value_or(0),
                                descriptive(kCountryCodeKey),
                                descriptive(kCountryKey),
                                descriptive(kStateKey),
                                descriptive(kCityKey),
                                env_.clock->nowMilliseconds()};
  // Stored before confirming: the confirmation compares the live settings with it.
  if (auto saved = saveRecord(*env_.defaults, state); !saved) return unexpected(ConnectFailure{saved.error(), true});
  if (auto saved = saveRecord(*env_.defaults, diagnostic); !saved)
    return unexpected(ConnectFailure{saved.error(), true});

  env_.connects->confirming(*request.proof);
  for (int check = 0; check < kConfirmationChecks; ++check) {
    if (systemProxyMatchesCurrentState()) return {};
    env_.clock->sleep(kConfirmationPause);
  }
  return unexpected(
      ConnectFailure{MacProxyError::commandFailed("macOS did not activate the selected proxy settings."), true});
}

void ProxyFlows::failConnect(const ConnectFailure& failure, const SharedResult& result) {
  removeConnectionRecords();
  bool restored = true;
  if (auto snapshot = snapshots().load(); failure.applied && snapshot) {
    restored = restoreSnapshot(*snapshot).has_value();
    (void)switchChromeWebRtc(false);
  }
  // A removal that fails half way leaves the snapshot in user defaults alone,
  // known from then on as put back already (docs/records.md).
  if (restored) (void)snapshots().remove();
  replyLater(result, failure.error);
}

}  // namespace tavlune::manager
