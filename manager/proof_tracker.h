// Connects and proxy checks from their request to their reply, for the front
// ends that follow them: where each stands (waiting for the queue, preparing,
// proving the proxy with its pass and last error, applying, confirming), and
// the cancel that stops one while its proxy is still being proved. Nothing
// has been changed by then; once applying has begun a cancel is refused.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "channel/encodable_value.h"
#include "manager/proxy_operations.h"
#include "model/mac_proxy_error.h"
#include "platform/dispatch/cancellation.h"
#include "validation/proxy_validator.h"

namespace tavlune::manager {

class ProofTracker {
 public:
  enum class Stage { waiting, preparing, proving, applying, confirming };

  class Proof {
   public:
    Proof(std::string protocol, std::string host, int64_t port, std::string tag)
        : protocol_(std::move(protocol)), host_(std::move(host)), port_(port), tag_(std::move(tag)) {}
    const platform::Cancellation& cancellation() const { return cancellation_; }

   private:
    friend class ProofTracker;
    const std::string protocol_, host_;
    const int64_t port_;
    const std::string tag_;  // the front end's name for it; empty for none
    Stage stage_ = Stage::waiting;
    int pass_ = 0;
    std::string lastError_;
    platform::Cancellation cancellation_;
  };
  using ProofPtr = std::shared_ptr<Proof>;

  // Listed from the request (stage waiting) until its reply.
  ProofPtr add(std::string protocol, std::string host, int64_t port, std::string tag = {});
  // The result that, once answered, first takes the proof off the list, so
  // that no front end sees the reply while the proof still shows.
  MethodResultPtr forgetOnReply(ProofPtr proof, MethodResultPtr result);

  // Its work has begun (stage preparing); false when it was cancelled while waiting.
  bool start(Proof& proof);
  // What the diagnosis reports through: stage proving, the pass and the last error.
  validation::ProofObserver observer(const ProofPtr& proof);
  // Stage applying, past the point where a cancel stops it; false when a cancel came first.
  bool commit(Proof& proof);
  void confirming(Proof& proof);

  // The proof with this tag, or without a tag the first listed: "phase"
  // "idle" when there is none, else its stage, "protocol", "host", "port",
  // "cancellable", "behind" (how many are listed after it), and while proving
  // "pass" (from 1), "passes" and "lastError" (once an attempt failed).
  channel::EncodableValue describe(const std::string& tag = {}) const;
  // Cancels the proof describe(tag) shows, unless it is applying or past it.
  bool cancel(const std::string& tag = {});
  // The same for every proof listed.
  void cancelAll();

  // How a proof that was cancelled ends.
  static model::MacProxyError cancelledError();

 private:
  void remove(const Proof& proof);
  // The proof a front end means; null when there is none. With mutex_ held.
  const ProofPtr* find(const std::string& tag) const;

  mutable std::mutex mutex_;
  std::vector<ProofPtr> proofs_;
};

}  // namespace tavlune::manager
