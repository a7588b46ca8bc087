// The application's diagnosis, timed: how long each call took on the wall
// clock and how much of that it spent in its own pauses. What remains is
// curl's time (probe and download) and the little parsing around it.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "bench/pause_summing_clock.h"
#include "manager/flow_ports.h"

namespace tavlune::bench {

using namespace tavlune::manager;
using namespace tavlune::model;

class TimedDiagnosis final : public ProxyDiagnosis {
 public:
  struct Call {
    std::chrono::duration<double, std::milli> wall{0};
    PauseSummingClock::Totals pauses;
  };

  TimedDiagnosis(std::shared_ptr<ProxyDiagnosis> inner, std::shared_ptr<PauseSummingClock> clock)
      : inner_(std::move(inner)), clock_(std::move(clock)) {}

  ManagerResult<MacProxyDiagnostic> diagnose(const std::string& host, int64_t port, const std::string& proxyProtocol,
                                             const std::string& username, const std::string& password,
                                             const validation::ProofObserver& observer) override {
    auto pausesBefore = clock_->totals();
    auto before = std::chrono::steady_clock::now();
    auto result = inner_->diagnose(host, port, proxyProtocol, username, password, observer);
    Call call{std::chrono::steady_clock::now() - before, clock_->totals() - pausesBefore};
    std::lock_guard lock(mutex_);
    calls_.push_back(call);
    return result;
  }

  std::vector<Call> takeCalls() {
    std::lock_guard lock(mutex_);
    return std::exchange(calls_, {});
  }

 private:
  std::shared_ptr<ProxyDiagnosis> inner_;
  std::shared_ptr<PauseSummingClock> clock_;
  std::mutex mutex_;
  std::vector<Call> calls_;
};

}  // namespace tavlune::bench
