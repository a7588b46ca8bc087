#include "manager/proof_tracker.h"

#include <algorithm>
#include <functional>

#include "frontendprotocol/keys.h"

namespace tavlune::manager {
namespace {

using channel::EncodableMap;
using channel::EncodableValue;
using namespace frontendprotocol;  // the progress map's keys and phases

const char* stageName(ProofTracker::Stage stage) {
  switch (stage) {
    case ProofTracker::Stage::waiting: return kWaitingPhase;
    case ProofTracker::Stage::preparing: return kPreparingPhase;
    case ProofTracker::Stage::proving: return kProvingPhase;
    case ProofTracker::Stage::applying: return kApplyingPhase;
    case ProofTracker::Stage::confirming: return kConfirmingPhase;
  }
  return kWaitingPhase;
}

// Answers through the inner result, after a step of its own.
class ResultAfter final : public channel::MethodResult {
 public:
  ResultAfter(MethodResultPtr inner, std::function<void()> before) : inner_(std::move(inner)), before_(std::move(before)) {}

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    before_();
    result ? inner_->Success(*result) : inner_->Success();
  }
  void ErrorInternal(const std::string& code, const std::string& message, const EncodableValue* details) override {
    before_();
    inner_->Error(code, message, details);
  }
  void NotImplementedInternal() override {
    before_();
    inner_->NotImplemented();
  }

 private:
  MethodResultPtr inner_;
  std::function<void()> before_;
};

}  // namespace

model::MacProxyError ProofTracker::cancelledError() {
  return model::MacProxyError::validationFailed(model::kProofCancelledMessage);
}

ProofTracker::ProofPtr ProofTracker::add(std::string protocol, std::string host, int64_t port, std::string tag) {
  auto proof = std::make_shared<Proof>(std::move(protocol), std::move(host), port, std::move(tag));
  std::lock_guard lock(mutex_);
  proofs_.push_back(proof);
  return proof;
}

MethodResultPtr ProofTracker::forgetOnReply(ProofPtr proof, MethodResultPtr result) {
  return std::make_unique<ResultAfter>(std::move(result), [this, proof] { remove(*proof); });
}

void ProofTracker::remove(const Proof& proof) {
  std::lock_guard lock(mutex_);
  std::erase_if(proofs_, [&](const ProofPtr& listed) { return listed.get() == &proof; });
}

bool ProofTracker::start(Proof& proof) {
  std::lock_guard lock(mutex_);
  proof.stage_ = Stage::preparing;
  return !proof.cancellation_.cancelled();
}

validation::ProofObserver ProofTracker::observer(const ProofPtr& proof) {
  return {[this, proof](int pass, const std::string& lastError) {
            std::lock_guard lock(mutex_);
            proof->stage_ = Stage::proving;
            proof->pass_ = pass;
            proof->lastError_ = lastError;
          },
          &proof->cancellation_};
}

bool ProofTracker::commit(Proof& proof) {
  // Under the same lock as cancel: either the cancel is taken and this
  // refuses, or this goes first and the cancel is refused.
  std::lock_guard lock(mutex_);
  if (proof.cancellation_.cancelled()) return false;
  proof.stage_ = Stage::applying;
  return true;
}

void ProofTracker::confirming(Proof& proof) {
  std::lock_guard lock(mutex_);
  proof.stage_ = Stage::confirming;
}

const ProofTracker::ProofPtr* ProofTracker::find(const std::string& tag) const {
  auto found = tag.empty() ? proofs_.begin()
                           : std::find_if(proofs_.begin(), proofs_.end(), [&](const ProofPtr& p) { return p->tag_ == tag; });
  return found == proofs_.end() ? nullptr : &*found;
}

EncodableValue ProofTracker::describe(const std::string& tag) const {
  std::lock_guard lock(mutex_);
  const ProofPtr* found = find(tag);
  if (!found) return EncodableValue(EncodableMap{{EncodableValue(kPhaseKey), EncodableValue(kIdlePhase)}});
  const Proof& proof = **found;
  const bool cancellable = proof.stage_ < Stage::applying && !proof.cancellation_.cancelled();
  EncodableMap map{
      {EncodableValue(kPhaseKey), EncodableValue(stageName(proof.stage_))},
      {EncodableValue(kProtocolKey), EncodableValue(proof.protocol_)},
      {EncodableValue(kHostKey), EncodableValue(proof.host_)},
      {EncodableValue(kPortKey), channel::integerValue(proof.port_)},
      {EncodableValue(kCancellableKey), EncodableValue(cancellable)},
      {EncodableValue(kBehindKey), channel::integerValue(static_cast<int64_t>(proofs_.size()) - (found - proofs_.data()) - 1)},
  };
  if (proof.stage_ == Stage::proving) {
    map[EncodableValue(kPassKey)] = EncodableValue(int32_t(proof.pass_ + 1));
    map[EncodableValue(kPassesKey)] = EncodableValue(int32_t(validation::ProxyValidator::kPasses));
    if (!proof.lastError_.empty()) map[EncodableValue(kLastErrorKey)] = EncodableValue(proof.lastError_);
  }
  return EncodableValue(std::move(map));
}

bool ProofTracker::cancel(const std::string& tag) {
  std::lock_guard lock(mutex_);
  const ProofPtr* found = find(tag);
  if (!found || (*found)->stage_ >= Stage::applying) return false;
  (*found)->cancellation_.cancel();
  return true;
}

void ProofTracker::cancelAll() {
  std::lock_guard lock(mutex_);
  for (const auto& proof : proofs_)
    if (proof->stage_ < Stage::applying) proof->cancellation_.cancel();
}

}  // namespace tavlune::manager
