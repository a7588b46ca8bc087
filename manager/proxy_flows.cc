#include "manager/proxy_flows.h"

#include <mutex>

#include "frontendprotocol/keys.h"
#include "helperclient/exchange_deadline.h"
#include "helperprotocol/protocol.h"
#include "manager/flutter_values.h"
#include "model/record_store.h"
#include "sysproxy/network_service_discovery.h"
#include "sysproxy/proxy_inspection.h"
#include "sysproxy/restore_commands.h"

namespace tavlune::manager {
namespace {

using channel::EncodableMap;
using channel::EncodableValue;
using model::loadRecord;
using model::MacProxyConnectionState;
using model::MacProxyDiagnostic;
using model::MacProxyError;
using model::MacProxySnapshot;
using model::ManagerResult;

EncodableValue offlineValue() {
  return EncodableValue(
      EncodableMap{{EncodableValue(frontendprotocol::kPhaseKey), EncodableValue(frontendprotocol::kOfflinePhase)}});
}

}  // namespace

void ProxyFlows::replyLater(const SharedResult& result, EncodableValue value) {
  env_.mainQueue->async([result, value = std::move(value)] { result->Success(value); });
}

void ProxyFlows::replyLater(const SharedResult& result, const model::AnyError& error) {
  env_.mainQueue->async([result, flutter = flutterError(error)] { result->Error(flutter); });
}

void ProxyFlows::replyLater(const SharedResult& result, const ManagerResult<void>& outcome) {
  if (outcome) {
    replyLater(result, EncodableValue(true));
  } else {
    replyLater(result, outcome.error());
  }
}

void ProxyFlows::removeConnectionRecords() {
  (void)model::removeRecord<MacProxyConnectionState>(*env_.defaults);
  (void)model::removeRecord<MacProxyDiagnostic>(*env_.defaults);
}

ManagerResult<void> ProxyFlows::runHelper(const std::string& command) {
  if (auto ran = env_.helper->runHelperCommand(command); !ran) return unexpected(ran.error().error);
  return {};
}

ManagerResult<void> ProxyFlows::switchChromeWebRtc(bool on) {
  using helperprotocol::kChromeWebRTCOffCommand;
  using helperprotocol::kChromeWebRTCOnCommand;
  return runHelper(std::string(on ? kChromeWebRTCOnCommand : kChromeWebRTCOffCommand));
}

std::vector<std::string> ProxyFlows::servicesAtGateway() {
  std::vector<std::string> names;
  auto services = sysproxy::enabledNetworkServices(*env_.network);
  if (!services) return names;
  for (const auto& service : *services)
    if (sysproxy::containsTavluneGateway(service.configuration)) names.push_back(service.name);
  return names;
}

std::vector<std::string> ProxyFlows::restoreLines(const std::optional<MacProxySnapshot>& snapshot) {
  // Unreadable live settings only cost the removal of the connect's user names.
  auto live = sysproxy::enabledNetworkServices(*env_.network);
  return sysproxy::disconnectCommandLines(snapshot, live ? *live : std::vector<model::MacNetworkServiceSnapshot>{});
}

ManagerResult<void> ProxyFlows::restoreSnapshot(const MacProxySnapshot& snapshot) {
  // A snapshot without services has nothing to put back: no line at all,
  // since an empty one would only be refused, keeping the records for ever.
  for (const std::string& line : restoreLines(snapshot))
    if (auto ran = runHelper(line); !ran) return ran;
  return {};
}

ManagerResult<void> ProxyFlows::performDisconnect() {
  auto& defaults = *env_.defaults;
  if (auto stored = snapshots().loadStored()) {
    // One already put back by a take-back that could not remove it is only
    // dropped: put back again, it would undo what the user changed since.
    if (sysproxy::snapshotStillOwed(*stored, *env_.network)) {
      if (auto restored = restoreSnapshot(stored->snapshot); !restored) return restored;
    }
  } else if (auto atGateway = servicesAtGateway(); !atGateway.empty()) {
    if (auto off = runHelper(sysproxy::disableProxyCommand(atGateway)); !off) return off;
  }
  // Never installs the helper just for this.
  if (env_.helper->helperIsAvailable()) (void)switchChromeWebRtc(false);

  // Settings are back; a record that cannot be removed would show a
  // connection that no longer exists, so that is reported.
  std::optional<model::AnyError> failure;
  auto note = [&](platform::Result<void> removed) {
    if (!removed && !failure) failure = removed.error();
  };
  note(model::removeRecord<MacProxyConnectionState>(defaults));
  note(snapshots().remove());
  note(model::removeRecord<MacProxyDiagnostic>(defaults));
  if (failure) return unexpected(*failure);
  return {};
}

void ProxyFlows::disconnect(MethodResultPtr result) {
  env_.queue->async([this, result = SharedResult(std::move(result))] { replyLater(result, performDisconnect()); });
}

bool ProxyFlows::systemProxyMatchesCurrentState() {
  auto state = loadRecord<MacProxyConnectionState>(*env_.defaults);
  return state && sysproxy::systemProxyCarries(*state, *env_.network);
}

void ProxyFlows::retryOwedTakeBack() {
  constexpr int kRetries = 3;
  constexpr int64_t kRetryPauseMilliseconds = 30'000;
  // A connect on its way stores its snapshot before its state.
  if (terminating_ || connectsInFlight_.load() > 0 || retryQueued_ || failedRetries_ >= kRetries ||
      env_.clock->nowMilliseconds() < nextRetryAt_)
    return;
  if (!snapshots().load()) return;
  retryQueued_ = true;
  env_.queue->async([this] {
    // What ran before this item (the launch clean-up, a connect) may have
    // settled it already.
    if (snapshots().load() && !loadRecord<MacProxyConnectionState>(*env_.defaults) && !performDisconnect()) {
      ++failedRetries_;
      nextRetryAt_ = env_.clock->nowMilliseconds() + kRetryPauseMilliseconds;
    }
    retryQueued_ = false;
  });
}

EncodableValue ProxyFlows::connectionStateValue() {
  auto state = loadRecord<MacProxyConnectionState>(*env_.defaults);
  if (!state) {
    retryOwedTakeBack();
    return offlineValue();
  }
  if (sysproxy::systemProxyCarries(*state, *env_.network)) return flutterValue(*state);
  // A connect still on its way has stored its state before the system shows
  // it; dropping the state then would break that connect.
  if (connectsInFlight_.load() > 0) return offlineValue();
  cleanupOrphanedConnection();
  removeConnectionRecords();
  return offlineValue();
}

void ProxyFlows::inspect(MethodResultPtr result) {
  if (!systemProxyMatchesCurrentState()) {
    result->Error(flutterError(MacProxyError::validationFailed("No Tavlune proxy is active.")));
    return;
  }
  auto diagnostic = loadRecord<MacProxyDiagnostic>(*env_.defaults);
  if (!diagnostic) {
    result->Error(flutterError(MacProxyError::validationFailed("Proxy information is unavailable.")));
    return;
  }
  result->Success(flutterValue(*diagnostic));
}

void ProxyFlows::cleanupOrphanedConnection() {
  env_.queue->async([this] {
    if (snapshots().load()) {
      (void)performDisconnect();  // on failure every record stays for the next attempt
      return;
    }
    if (auto atGateway = servicesAtGateway(); !atGateway.empty()) {
      if (runHelper(sysproxy::disableProxyCommand(atGateway))) (void)switchChromeWebRtc(false);
    }
    removeConnectionRecords();
  });
}

MacProxyError ProxyFlows::quitting() { return MacProxyError::commandFailed("Tavlune is quitting."); }

std::chrono::milliseconds ProxyFlows::terminationBound() {
  if (env_.terminationBound) return *env_.terminationBound;
  // The take-back's own exchanges (a probe at its most patient, the restore
  // lines or the gateway's switch-off, WebRTC off), each within its deadline,
  // and a margin for an administrator prompt, an installation and work
  // queued before it (docs/helper-protocol.md).
  constexpr std::chrono::milliseconds kMargin{60'000};
  std::chrono::milliseconds takeBack{0};
  if (auto snapshot = snapshots().load()) {
    for (const std::string& line : restoreLines(snapshot)) takeBack += helperclient::exchangeDeadline(line);
  } else {
    takeBack = helperclient::exchangeDeadline(sysproxy::disableProxyCommand(servicesAtGateway()));
  }
  return kMargin + helperclient::kRestartPatience + helperclient::kBusyPatience + takeBack +
         helperclient::kFixedCommandDeadline;
}

void ProxyFlows::disconnectForTermination(std::function<void()> completion) {
  terminating_ = true;
  // Whichever comes first, the take-back's end or the bound, lets the
  // application end; past the bound the records stay for the next launch.
  auto once = std::make_shared<std::once_flag>();
  auto complete = [once, completion = std::move(completion)] { std::call_once(*once, completion); };
  env_.mainQueue->asyncAfter(terminationBound(), complete);
  env_.queue->async([this, complete] {
    (void)performDisconnect();
    env_.mainQueue->async(complete);
  });
}

void ProxyFlows::setWebRtcProtection(bool enabled, MethodResultPtr result) {
  if (terminating_) {
    result->Error(flutterError(quitting()));
    return;
  }
  env_.queue->async([this, enabled, result = SharedResult(std::move(result))] {
    if (!loadRecord<MacProxyConnectionState>(*env_.defaults)) return replyLater(result, EncodableValue(true));
    replyLater(result, switchChromeWebRtc(enabled));
  });
}

}  // namespace tavlune::manager
