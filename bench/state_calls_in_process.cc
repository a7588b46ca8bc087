// The two state queries inside the application: MacProxyManager::handle with
// the application's own ports (its user defaults, the network preferences)
// timed on the calling thread, which is where the application answers them.
// The channel's transport is left out; channel_call_latency measures it with
// it. Needs a connection made by TavluneDesktop (same HOME).
//
//   state_calls_in_process [CALLS]     default 5000 of each, alternating
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/installed_bundle.h"
#include "bench/sample_stats.h"
#include "manager/production_ports.h"
#include "manager/proxy_flows.h"
#include "platform/channel/method_result_functions.h"

namespace {

using namespace tavlune;
using SteadyClock = std::chrono::steady_clock;

constexpr double kP99LimitMs = 1.0;

struct Query {
  const char* method;
  std::vector<double> microseconds;
  std::size_t unexpectedReplies = 0;
};

// The answers of a connected system; anything else would time another path.
bool isConnectedAnswer(const std::string& method, const channel::EncodableValue* value) {
  if (!value) return false;
  if (method == "confirmProxyConnection") {
    const bool* flag = std::get_if<bool>(value);
    return flag && *flag;
  }
  const auto* map = std::get_if<channel::EncodableMap>(value);
  if (!map) return false;
  auto phase = map->find(channel::EncodableValue("phase"));
  return phase != map->end() && phase->second == channel::EncodableValue("connected");
}

}  // namespace

int main(int argc, char** argv) {
  int calls = argc > 1 ? std::atoi(argv[1]) : 5000;
  if (calls < 1) {
    std::fprintf(stderr, "usage: state_calls_in_process [CALLS]\n");
    return 2;
  }
  auto clock = std::make_shared<platform::SystemClock>();
  auto environment = productionEnvironment(clock, std::make_shared<ValidatorDiagnosis>(clock), bench::installedBundle());
  MacProxyManager manager(environment, std::make_shared<ProxyFlows>(environment));
  sharedMainQueue()->adoptCurrentThread();

  std::vector<Query> queries{{"getConnectionState", {}, 0}, {"confirmProxyConnection", {}, 0}};
  constexpr int kWarmUp = 100;
  for (int i = 0; i < kWarmUp + calls; ++i) {
    for (auto& query : queries) {
      bool connected = false;
      auto before = SteadyClock::now();
      // Both are answered before handle returns, on this (main) thread.
      manager.handle(channel::MethodCall(query.method),
                     std::make_unique<channel::MethodResultFunctions>(
                         [&](const channel::EncodableValue* value) { connected = isConnectedAnswer(query.method, value); },
                         nullptr, nullptr));
      auto after = SteadyClock::now();
      if (!connected) ++query.unexpectedReplies;
      if (i >= kWarmUp) query.microseconds.push_back(std::chrono::duration<double, std::micro>(after - before).count());
    }
  }

  std::printf("MacProxyManager::handle in this process, %d calls of each, alternating\n", calls);
  bool answered = true;
  for (const auto& query : queries) {
    auto s = bench::summarize(query.microseconds);
    std::printf("  %-24s p50 %7.1f  p99 %7.1f  best %7.1f  worst %8.1f us\n", query.method, s.median, s.p99, s.best,
                s.worst);
    if (query.unexpectedReplies > 0) {
      std::fprintf(stderr, "%s: %zu answers were not those of a connected system\n", query.method,
                   query.unexpectedReplies);
      answered = false;
    }
  }
  if (!answered) return 1;

  // Where the time goes: the two reads every query makes, on their own.
  auto timeEach = [&](const char* label, auto&& read) {
    std::vector<double> samples;
    for (int i = 0; i < calls; ++i) {
      auto before = SteadyClock::now();
      read();
      samples.push_back(std::chrono::duration<double, std::micro>(SteadyClock::now() - before).count());
    }
    auto s = bench::summarize(std::move(samples));
    std::printf("  of which %-42s p50 %7.1f  p99 %7.1f us\n", label, s.median, s.p99);
  };
  timeEach("the live proxies (network preferences)", [&] { (void)environment.network->liveProxies(); });
  timeEach("the stored state (user defaults)", [&] { (void)environment.defaults->data(MacProxyManager::stateKey); });
  for (const auto& query : queries) {
    auto s = bench::summarize(query.microseconds);
    bench::printFigure(std::string(query.method) + " in the application (p50; p99)",
                       bench::format("%.3f ms; %.3f ms", s.median / 1000, s.p99 / 1000),
                       bench::format("p99 <= %.0f ms", kP99LimitMs), s.p99 / 1000 <= kP99LimitMs);
  }
  return 0;
}
