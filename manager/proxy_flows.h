// The manager's long-running operations: connect, disconnect, the state
// answers, the launch clean-up, the termination take-back and the WebRTC
// switch. Blocking work runs as one item on the manager's serial queue;
// every reply reaches the front end on the main queue.
#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "manager/mac_proxy_manager.h"
#include "model/snapshot_store.h"

namespace tavlune::manager {

class ProxyFlows final : public ProxyOperations {
 public:
  // Items queued by these flows use the flows object: it must outlive the
  // queue's work, as the process-wide one does.
  explicit ProxyFlows(MacProxyEnvironment environment) : env_(std::move(environment)) {
    if (!env_.connects) env_.connects = std::make_shared<ProofTracker>();
  }

  void connect(const channel::EncodableMap& arguments, MethodResultPtr result) override;
  void disconnect(MethodResultPtr result) override;
  void setWebRtcProtection(bool enabled, MethodResultPtr result) override;
  void inspect(MethodResultPtr result) override;
  channel::EncodableValue connectionStateValue() override;
  bool systemProxyMatchesCurrentState() override;
  void cleanupOrphanedConnection() override;
  void disconnectForTermination(std::function<void()> completion) override;

  // Takes the system back from a connection of this system: restores the
  // snapshot, or switches off what still points at the gateway; then WebRTC
  // off when the helper answers; then clears the records. A failure leaves
  // every record as it was. Runs on the queue.
  model::ManagerResult<void> performDisconnect();

 private:
  struct ConnectRequest;
  // Why a connect stopped, and whether the system may have been changed by
  // then, so that the failure path knows to put the snapshot back.
  struct ConnectFailure {
    model::AnyError error;
    bool applied = false;
  };
  template <typename T>
  using ConnectStep = Expected<T, ConnectFailure>;
  using SharedResult = std::shared_ptr<channel::MethodResult>;

  void runConnect(const ConnectRequest& request, const SharedResult& result);
  // The connect's steps, in order: the services to point at the proxy, with
  // leftovers of an earlier connection switched off; the proxy proven; the
  // snapshot stored and the proxy applied; the records stored and the live
  // settings confirmed.
  ConnectStep<std::vector<model::MacNetworkServiceSnapshot>> takeOverServices();
  ConnectStep<model::MacProxyDiagnostic> proveProxy(const ConnectRequest& request);
  ConnectStep<void> applyProxy(const ConnectRequest& request,
                               const std::vector<model::MacNetworkServiceSnapshot>& services);
  ConnectStep<void> recordAndConfirm(const ConnectRequest& request, const model::MacProxyDiagnostic& diagnostic);
  // The connect's failure path: drops the state and diagnostic it stored, and
  // the snapshot too when nothing was applied. When the proxy command may
  // have run, it puts the snapshot back first; a snapshot that could not be
  // put back stays, for the next connect or launch to take back.
  void failConnect(const ConnectFailure& failure, const SharedResult& result);

  // A helper command whose failure is only its error.
  model::ManagerResult<void> runHelper(const std::string& command);
  // Both copies of the snapshot.
  model::SnapshotStore snapshots() { return model::SnapshotStore(*env_.defaults, env_.snapshotCopyPath); }
  // The snapshot's restore lines, for the services as they are now.
  std::vector<std::string> restoreLines(const std::optional<model::MacProxySnapshot>& snapshot);
  // Sends the snapshot's restore lines in order, stopping at the first that
  // fails.
  model::ManagerResult<void> restoreSnapshot(const model::MacProxySnapshot& snapshot);
  // How long the termination take-back may keep the application from ending.
  std::chrono::milliseconds terminationBound();
  // A snapshot stored without a state: a take-back failed (or was cut short)
  // and its settings may still be in force. The state query retries it, a
  // few times and not too often, rather than leave it to the next launch.
  void retryOwedTakeBack();
  // The enabled services whose live settings still point at the gateway; a
  // listing failure counts as no services.
  std::vector<std::string> servicesAtGateway();
  model::ManagerResult<void> switchChromeWebRtc(bool on);

  void replyLater(const SharedResult& result, channel::EncodableValue value);
  void replyLater(const SharedResult& result, const model::AnyError& error);
  // true on success, the error otherwise.
  void replyLater(const SharedResult& result, const model::ManagerResult<void>& outcome);
  // The connection state and the diagnostic, which describe a connection; the
  // snapshot, the user's own settings, is removed only where it is put back.
  void removeConnectionRecords();
  static model::MacProxyError quitting();

  MacProxyEnvironment env_;
  // Connect items queued or running: the state query then leaves records alone.
  std::atomic<int> connectsInFlight_{0};
  // Set on the main thread once the termination take-back is queued: what
  // is asked after it must not change the system, as the process ends then.
  std::atomic<bool> terminating_{false};
  // The retries of an owed take-back: one queued at a time, a bounded number
  // of failures, and a pause after each.
  std::atomic<bool> retryQueued_{false};
  std::atomic<int> failedRetries_{0};
  std::atomic<int64_t> nextRetryAt_{0};
};

}  // namespace tavlune::manager
