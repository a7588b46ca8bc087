// The application's road to the helper, timed: each command's wall time,
// from the probe to the reply, with the networksetup runs the helper makes
// for it. Tells how much of a connect's own time is spent in the helper.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "manager/flow_ports.h"

namespace tavlune::bench {

using namespace tavlune::manager;
using namespace tavlune::model;

class TimedHelperCommands final : public HelperCommands {
 public:
  struct Call {
    std::string command;
    std::chrono::duration<double, std::milli> wall{0};
  };

  explicit TimedHelperCommands(std::shared_ptr<HelperCommands> inner) : inner_(std::move(inner)) {}

  helperclient::HelperResult<void> runHelperCommand(const std::string& command) override {
    auto before = std::chrono::steady_clock::now();
    auto result = inner_->runHelperCommand(command);
    record({command, std::chrono::steady_clock::now() - before});
    return result;
  }

  bool helperIsAvailable() override {
    auto before = std::chrono::steady_clock::now();
    bool available = inner_->helperIsAvailable();
    record({"(probe)", std::chrono::steady_clock::now() - before});
    return available;
  }

  std::vector<Call> takeCalls() {
    std::lock_guard lock(mutex_);
    return std::exchange(calls_, {});
  }

 private:
  void record(Call call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }

  std::shared_ptr<HelperCommands> inner_;
  std::mutex mutex_;
  std::vector<Call> calls_;
};

}  // namespace tavlune::bench
