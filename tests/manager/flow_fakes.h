// Fakes at the flows' ports, a result that records its answer, and the flows wired to them.
#pragma once

#include "channel/method_result_functions.h"
#include "manager/flutter_values.h"
#include "manager/proxy_flows.h"
#include "model/record_store.h"
#include "platform/defaults/memory_user_defaults.h"
#include "platform/dispatch/recording_clock.h"
#include "platform/dispatch/serial_queue.h"
#include "platform/plist/plist.h"
#include "platform/sysconfig/memory_network_configuration.h"
#include "sysproxy/network_service_discovery.h"
#include "sysproxy/restore_commands.h"
#include "tests/support/temp_dir.h"

namespace tavlune::testing {
using namespace tavlune::manager;
using namespace tavlune::model;
namespace plist = platform::plist;
using channel::EncodableMap;
using V = channel::EncodableValue;
using Lines = std::vector<std::string>;
using FakeNetwork = platform::sysconfig::MemoryNetworkConfiguration;

inline plist::Dictionary proxyAt(const std::string& p, const std::string& host, int64_t port, int64_t on = 1) {
  return {{p + "Enable", plist::Value(on)}, {p + "Proxy", plist::Value(host)}, {p + "Port", plist::Value(port)}};
}

struct FakeHelper : HelperCommands {
  helperclient::HelperResult<void> runHelperCommand(const std::string& command) override {
    sent.push_back(command);
    for (auto& f : failures)
      if (command.starts_with(f.prefix) && f.times != 0) {
        --f.times;
        return unexpected(helperclient::HelperFailure{f.error, f.handedOver});
      }
    if (onCommand) onCommand(command);
    return {};
  }
  bool helperIsAvailable() override { return available; }
  // handedOver false: failed before the helper had it (a refused installation). times -1: every match.
  void failOn(std::string prefix, AnyError error, bool handedOver = true, int times = -1) {
    failures.push_back({std::move(prefix), std::move(error), handedOver, times});
  }

  struct Failure { std::string prefix; AnyError error; bool handedOver; int times; };
  Lines sent;  // read once the queue is idle
  std::vector<Failure> failures;
  std::function<void(const std::string&)> onCommand;
  bool available = true;
};

struct FakeDiagnosis : ProxyDiagnosis {
  ManagerResult<MacProxyDiagnostic> diagnose(const std::string& host, int64_t port, const std::string& protocol,
                                             const std::string& user, const std::string& password,
                                             const validation::ProofObserver& observer) override {
    calls.push_back(host + " " + std::to_string(port) + " " + protocol + " " + user + ":" + password);
    if (during) during(observer);
    return answer;
  }
  Lines calls;
  // While it proves. A cancel there does not end it: what follows the proof must see the cancel.
  std::function<void(const validation::ProofObserver&)> during;
  ManagerResult<MacProxyDiagnostic> answer = MacProxyDiagnostic{"198.51.100.4", "Germany", "DE", "Berlin", "Berlin", "ISP", "1 Mbps"};
};

struct Reply {
  enum Kind { none, success, error, notImplemented } kind = none;
  V value;  // or the error's details
  std::string code, message;
  int answers = 0;
  bool is(const AnyError& e) const { return kind == error && code == flutterError(e).code && message == flutterError(e).message && value.IsNull(); }
};

// A map with text keys, as the front ends get them.
inline V textMap(std::initializer_list<std::pair<const char*, V>> entries) {
  EncodableMap map;
  for (const auto& [key, value] : entries) map[V(key)] = value;
  return V(map);
}

inline MethodResultPtr capture(std::shared_ptr<Reply> r) {
  return std::make_unique<channel::MethodResultFunctions>(
      [r](const V* v) { *r = {Reply::success, v ? *v : V(), "", "", r->answers + 1}; },
      [r](const std::string& c, const std::string& m, const V* d) { *r = {Reply::error, d ? *d : V(), c, m, r->answers + 1}; },
      [r] { *r = {Reply::notImplemented, V(), "", "", r->answers + 1}; });
}

// A SOCKS5 connect request with the given entries changed; a null value removes one.
inline EncodableMap request(std::initializer_list<std::pair<const char*, V>> changes = {}) {
  EncodableMap map{{V("host"), V("203.0.113.5")}, {V("port"), V(1080)}, {V("protocol"), V("SOCKS5")}};
  for (const auto& [key, value] : changes)
    if (value.IsNull()) map.erase(V(key)); else map[V(key)] = value;
  return map;
}

// The connect line is the only one carrying the fixed bypass list.
inline bool isConnectLine(const std::string& command) { return command.find("::1 '*.local'") != std::string::npos; }

struct FlowRig {
  explicit FlowRig(std::optional<std::chrono::milliseconds> terminationBound = {}) {
    main->adoptCurrentThread();
    flows = std::make_unique<ProxyFlows>(
        MacProxyEnvironment{defaults, nullptr, main, queue, clock, network, diagnosis, helper, terminationBound, connects, copyPath});
    network->addService("Wi-Fi", {});
    network->addService("Ethernet", {});
  }
  ~FlowRig() { queue->waitUntilIdle(); }

  // The system takes whatever connect line arrives: its live proxy follows.
  void systemApplies(const char* prefix = "SOCKS", const std::string& host = "203.0.113.5", int64_t port = 1080) {
    helper->onCommand = [=, this](const std::string& command) {
      if (isConnectLine(command)) network->setLive(proxyAt(prefix, host, port)), network->setProxies(0, proxyAt(prefix, host, port));
    };
  }
  std::shared_ptr<Reply> connect(const EncodableMap& arguments = request()) {
    auto reply = std::make_shared<Reply>();
    flows->connect(arguments, capture(reply));
    settle();
    return reply;
  }
  void settle() { queue->waitUntilIdle(), main->drain(); }
  bool stored(const char* key) { return defaults->data(key).has_value(); }
  std::vector<bool> records() {
    return {stored(recordKey<MacProxyConnectionState>), stored(recordKey<MacProxySnapshot>), stored(recordKey<MacProxyDiagnostic>)};
  }
  // A connection an earlier run left: state, diagnostic and a snapshot of Wi-Fi with a web proxy;
  // Wi-Fi carries the connect's SOCKS login, which the take-back must remove.
  void storeConnection(bool withDiagnostic = true) {
    auto login = proxyAt("SOCKS", "203.0.113.5", 1080, 0);
    login["SOCKSUser"] = plist::Value("tavlune");
    network->setProxies(0, login);
    ASSERT_TRUE(saveRecord(*defaults, MacProxyConnectionState{"203.0.113.5", 1080, "socks5", "manual", {}, 0, {}, {}, {}, {}, 1}));
    ASSERT_TRUE(saveRecord(*defaults, MacProxySnapshot{{{"Wi-Fi", *plist::toBinary(plist::Value(proxyAt("HTTP", "10.0.0.2", 88)))}}}));
    ASSERT_TRUE(!withDiagnostic || saveRecord(*defaults, MacProxyDiagnostic{"1.2.3.4", "c", "C", "x", "s", "i", "1 Mbps"}));
  }
  std::string restoreLine() {
    return sysproxy::disconnectCommand(loadRecord<MacProxySnapshot>(*defaults), *sysproxy::enabledNetworkServices(*network));
  }

  TempDir folder;
  const std::string copyPath = folder / "Tavlune/proxy-snapshot.copy";  // the snapshot's second copy
  std::shared_ptr<platform::MemoryUserDefaults> defaults = std::make_shared<platform::MemoryUserDefaults>();
  std::shared_ptr<FakeNetwork> network = std::make_shared<FakeNetwork>();
  std::shared_ptr<FakeHelper> helper = std::make_shared<FakeHelper>();
  std::shared_ptr<FakeDiagnosis> diagnosis = std::make_shared<FakeDiagnosis>();
  std::shared_ptr<platform::RecordingClock> clock = std::make_shared<platform::RecordingClock>(1700000000900);
  std::shared_ptr<platform::MainQueue> main = std::make_shared<platform::MainQueue>();
  std::shared_ptr<platform::SerialQueue> queue = std::make_shared<platform::SerialQueue>("com.tavlune.macos.proxy");
  std::shared_ptr<ProofTracker> connects = std::make_shared<ProofTracker>();
  std::unique_ptr<ProxyFlows> flows;
};

}  // namespace tavlune::testing
