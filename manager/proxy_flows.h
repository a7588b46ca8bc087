// The manager's long-running operations: connect, disconnect, the state
// answers, the launch clean-up, the termination take-back and the WebRTC
// switch. Blocking work runs as one item on the manager's serial queue;
// every reply reaches the front end on the main queue.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "manager/mac_proxy_manager.h"

namespace tavlune {

class ProxyFlows final : public ProxyOperations {
 public:
  // Items queued by these flows use the flows object: it must outlive the
  // queue's work, as the process-wide one does.
  explicit ProxyFlows(MacProxyEnvironment environment) : env_(std::move(environment)) {}

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
  ManagerResult<void> performDisconnect();

 private:
  struct ConnectRequest;
  using SharedResult = std::shared_ptr<channel::MethodResult>;

  void runConnect(const ConnectRequest& request, const SharedResult& result);
  // The connect's failure path: drops the records it stored, restoring the
  // snapshot first when the proxy command had been applied.
  void failConnect(const AnyError& error, bool applied, const SharedResult& result);
  // Sends the stored snapshot's restore line, when it has anything to restore.
  ManagerResult<void> restoreSnapshot();
  // The enabled services whose live settings still point at the gateway; a
  // listing failure counts as no services.
  std::vector<std::string> servicesAtGateway();

  void replyLater(const SharedResult& result, channel::EncodableValue value);
  void replyLater(const SharedResult& result, const AnyError& error);
  // true on success, the error otherwise.
  void replyLater(const SharedResult& result, const ManagerResult<void>& outcome);
  void removeRecords(std::initializer_list<const char*> keys);
  static MacProxyError quitting();

  MacProxyEnvironment env_;
  // Connect items queued or running: the state query then leaves records alone.
  std::atomic<int> connectsInFlight_{0};
  // Set on the main thread once the termination take-back is queued: what
  // is asked after it must not change the system, as the process ends then.
  std::atomic<bool> terminating_{false};
};

}  // namespace tavlune
