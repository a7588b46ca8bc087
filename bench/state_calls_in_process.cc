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
#include "bench/state_queries.h"
#include "manager/production_ports.h"
#include "manager/proxy_flows.h"
#include "channel/method_result_functions.h"

using namespace tavlune;
using namespace tavlune::manager;
using namespace tavlune::model;
using SteadyClock = std::chrono::steady_clock;

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

  auto queries = bench::stateQueries();
  constexpr int kWarmUp = 100;
  for (int i = 0; i < kWarmUp + calls; ++i) {
    for (auto& query : queries) {
      bool connected = false;
      auto before = SteadyClock::now();
      // Both are answered before handle returns, on this (main) thread.
      manager.handle(channel::MethodCall(query.method),
                     std::make_unique<channel::MethodResultFunctions>(
                         [&](const channel::EncodableValue* value) {
                           connected = bench::isConnectedAnswer(query.method, value);
                         },
                         nullptr, nullptr));
      auto after = SteadyClock::now();
      if (!connected) ++query.unexpectedReplies;
      if (i >= kWarmUp) query.microseconds.push_back(std::chrono::duration<double, std::micro>(after - before).count());
    }
  }

  std::printf("MacProxyManager::handle in this process, %d calls of each, alternating\n", calls);
  if (!bench::reportQueries(queries, "in the application")) return 1;
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
  timeEach("the stored state (user defaults)", [&] { (void)environment.defaults->data(recordKey<MacProxyConnectionState>); });
  return 0;
}
