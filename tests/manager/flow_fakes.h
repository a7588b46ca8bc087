// Fakes at the flows' ports: a network configuration, the helper's road, the
// diagnosis; plus a result that records its answer.
#pragma once

#include <functional>
#include <mutex>

#include "manager/proxy_flows.h"
#include "model/record_store.h"
#include "platform/defaults/memory_user_defaults.h"
#include "platform/dispatch/recording_clock.h"
#include "platform/dispatch/serial_queue.h"
#include "platform/sysconfig/memory_network_configuration.h"

namespace tavlune::testing {
using namespace tavlune::manager;
using namespace tavlune::model;

namespace plist = platform::plist;
using channel::EncodableMap;
using channel::EncodableValue;

using FakeNetwork = platform::sysconfig::MemoryNetworkConfiguration;

inline plist::Dictionary proxyAt(const char* prefix, const std::string& host, int64_t port, int64_t on = 1) {
  std::string p = prefix;
  return {{p + "Enable", plist::Value(on)}, {p + "Proxy", plist::Value(host)}, {p + "Port", plist::Value(port)}};
}

class FakeHelper : public HelperCommands {
 public:
  helperclient::HelperResult<void> runHelperCommand(const std::string& command) override {
    std::function<void(const std::string&)> hook;
    {
      std::lock_guard lock(mutex);
      commands.push_back(command);
      for (auto& failure : failures)
        if (command.rfind(failure.prefix, 0) == 0 && failure.times != 0) {
          --failure.times;
          return unexpected(helperclient::HelperFailure{failure.error, failure.handedOver});
        }
      hook = onCommand;
    }
    if (hook) hook(command);
    return {};
  }
  bool helperIsAvailable() override { return available; }

  std::vector<std::string> sent() {
    std::lock_guard lock(mutex);
    return commands;
  }
  // handedOver: the helper had the command (an error reply, no reply); false
  // for a failure before it, such as a refused installation. times: how many
  // matching commands fail (-1: all).
  void failOn(const std::string& prefix, AnyError error, bool handedOver = true, int times = -1) {
    std::lock_guard lock(mutex);
    failures.push_back({prefix, std::move(error), handedOver, times});
  }

  struct Failure {
    std::string prefix;
    AnyError error;
    bool handedOver;
    int times;
  };
  std::mutex mutex;
  std::vector<std::string> commands;
  std::vector<Failure> failures;
  std::function<void(const std::string&)> onCommand;
  bool available = true;
};

class FakeDiagnosis : public ProxyDiagnosis {
 public:
  ManagerResult<MacProxyDiagnostic> diagnose(const std::string& host, int64_t port, const std::string& proxyProtocol,
                                             const std::string& username, const std::string& password) override {
    calls.push_back(host + " " + std::to_string(port) + " " + proxyProtocol + " " + username + ":" + password);
    return answer;
  }
  std::vector<std::string> calls;
  ManagerResult<MacProxyDiagnostic> answer =
      MacProxyDiagnostic{"198.51.100.4", "Germany", "DE", "Berlin", "Berlin", "Example ISP", "12.3 Mbps"};
};

// What a call was answered with.
struct Reply {
  enum Kind { none, success, error, notImplemented } kind = none;
  EncodableValue value;
  std::string code, message;
  bool hasDetails = false;
  int answers = 0;
};

class CapturingResult : public channel::MethodResult {
 public:
  explicit CapturingResult(std::shared_ptr<Reply> reply) : reply_(std::move(reply)) {}

 protected:
  void SuccessInternal(const EncodableValue* value) override {
    *reply_ = {Reply::success, value ? *value : EncodableValue(), "", "", false, reply_->answers + 1};
  }
  void ErrorInternal(const std::string& code, const std::string& message, const EncodableValue* details) override {
    *reply_ = {Reply::error, EncodableValue(), code, message, details != nullptr, reply_->answers + 1};
  }
  void NotImplementedInternal() override {
    *reply_ = {Reply::notImplemented, {}, "", "", false, reply_->answers + 1};
  }

 private:
  std::shared_ptr<Reply> reply_;
};

// The connect line is the only one carrying the fixed bypass list.
inline bool isConnectLine(const std::string& command) { return command.find("::1 '*.local'") != std::string::npos; }

struct FlowRig {
  explicit FlowRig(std::shared_ptr<platform::Clock> flowClock = nullptr,
                   std::optional<std::chrono::milliseconds> terminationBound = std::nullopt) {
    main->adoptCurrentThread();
    MacProxyEnvironment env;
    env.defaults = defaults;
    env.mainQueue = main;
    env.queue = queue;
    env.clock = flowClock ? flowClock : clock;
    env.network = network;
    env.diagnosis = diagnosis;
    env.helper = helper;
    env.terminationBound = terminationBound;
    flows = std::make_unique<ProxyFlows>(env);
    network->addService("Wi-Fi", {});
    network->addService("Ethernet", {});
  }
  ~FlowRig() { queue->waitUntilIdle(); }

  // The system takes whatever connect line arrives: its live proxy follows.
  void systemApplies(const char* prefix, const std::string& host, int64_t port) {
    helper->onCommand = [=, this](const std::string& command) {
      if (isConnectLine(command)) network->setLive(proxyAt(prefix, host, port));
    };
  }
  std::shared_ptr<Reply> connect(EncodableMap arguments) {
    auto reply = std::make_shared<Reply>();
    flows->connect(arguments, std::make_unique<CapturingResult>(reply));
    settle();
    return reply;
  }
  void settle() {
    queue->waitUntilIdle();
    main->drain();
  }
  bool stored(const char* key) { return defaults->data(key).has_value(); }
  std::vector<bool> records() {
    return {stored(recordKey<MacProxyConnectionState>), stored(recordKey<MacProxySnapshot>),
            stored(recordKey<MacProxyDiagnostic>)};
  }

  std::shared_ptr<platform::MemoryUserDefaults> defaults = std::make_shared<platform::MemoryUserDefaults>();
  std::shared_ptr<FakeNetwork> network = std::make_shared<FakeNetwork>();
  std::shared_ptr<FakeHelper> helper = std::make_shared<FakeHelper>();
  std::shared_ptr<FakeDiagnosis> diagnosis = std::make_shared<FakeDiagnosis>();
  std::shared_ptr<platform::RecordingClock> clock = std::make_shared<platform::RecordingClock>(1700000000900);
  std::shared_ptr<platform::MainQueue> main = std::make_shared<platform::MainQueue>();
  std::shared_ptr<platform::SerialQueue> queue = std::make_shared<platform::SerialQueue>("com.tavlune.macos.proxy");
  std::unique_ptr<ProxyFlows> flows;
};

}  // namespace tavlune::testing
