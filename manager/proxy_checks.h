// Proving a proxy for a front end without changing anything: the connect's
// own diagnosis, and nothing else of it (no snapshot, no records, no helper).
// Checks run one at a time on a queue of their own, so a connect never waits
// for one; each can be followed and cancelled by the tag its front end gave.
#pragma once

#include <memory>

#include "channel/encodable_value.h"
#include "manager/flow_ports.h"
#include "manager/proof_tracker.h"
#include "manager/proxy_operations.h"
#include "platform/dispatch/main_queue.h"
#include "platform/dispatch/serial_queue.h"

namespace tavlune::manager {

class ProxyChecks {
 public:
  static constexpr const char* queueLabel = "com.tavlune.macos.proxy-check";

  ProxyChecks(std::shared_ptr<ProxyDiagnosis> diagnosis, std::shared_ptr<platform::MainQueue> mainQueue)
      : diagnosis_(std::move(diagnosis)), mainQueue_(std::move(mainQueue)) {}
  // Cancels every check, so that the process's end waits for none.
  ~ProxyChecks() { tracker_.cancelAll(); }

  // arguments: the proxy entries of "connectProxy" and "checkId", the
  // front end's tag for it. Answered on the main queue with the diagnostic's
  // channel form, or at once with the entry's refusal.
  void check(const channel::EncodableValue* arguments, MethodResultPtr result);
  ProofTracker& tracker() { return tracker_; }

 private:
  std::shared_ptr<ProxyDiagnosis> diagnosis_;
  std::shared_ptr<platform::MainQueue> mainQueue_;
  ProofTracker tracker_;
  platform::SerialQueue queue_{queueLabel};  // last: its items end before the rest goes
};

}  // namespace tavlune::manager
