// A connect's own time: "connectProxy" through the application's dispatcher
// and flows with the real ports (networksetup, the installed helper, curl
// through a local proxy), minus the pauses the flow sleeps by design and
// minus the time spent in the diagnosis's curl runs. Runs inside the
// simulated host, with TavluneDesktop not running (it would share the
// records); each cycle connects and disconnects.
//
//   connect_overhead [CYCLES] [HOST PORT PROTOCOL]     default 10 127.0.0.1 3128 http
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/installed_bundle.h"
#include "bench/pause_summing_clock.h"
#include "bench/sample_stats.h"
#include "bench/timed_diagnosis.h"
#include "bench/timed_helper_commands.h"
#include "manager/production_ports.h"
#include "manager/proxy_flows.h"
#include "channel/method_result_functions.h"
#include "validation/curl_arguments.h"
#include "validation/speed_text.h"

namespace {

using namespace tavlune;
using namespace tavlune::manager;
using namespace tavlune::model;
using namespace tavlune::helperclient;
using Millis = std::chrono::duration<double, std::milli>;
using SteadyClock = std::chrono::steady_clock;

constexpr double kOverheadLimitMs = 50;

struct Reply {
  bool ok = false;
  std::string text;
  SteadyClock::time_point at;
};

// Hands one call to the manager and serves the main queue until its reply,
// as the application's run loop would.
Reply call(MacProxyManager& manager, channel::MethodCall method) {
  auto queue = sharedMainQueue();
  Reply reply;
  auto finish = [&](bool ok, std::string text) {
    reply = {ok, std::move(text), SteadyClock::now()};
    queue->stop();
  };
  manager.handle(method, std::make_unique<channel::MethodResultFunctions>(
                             [&](const channel::EncodableValue* value) {
                               const bool* flag = value ? std::get_if<bool>(value) : nullptr;
                               finish(flag && *flag, flag ? (*flag ? "true" : "false") : "not a boolean");
                             },
                             [&](const std::string& code, const std::string& message, const channel::EncodableValue*) {
                               finish(false, code + ": " + message);
                             },
                             [&] { finish(false, "not implemented"); }));
  queue->run();
  return reply;
}

struct Connect {
  Millis total{0};
  bench::PauseSummingClock::Totals pauses;       // every pause of the connect, the diagnosis's included
  bench::TimedDiagnosis::Call diagnosis;        // its wall time and its own pauses
  std::vector<bench::TimedHelperCommands::Call> helperCalls;
  Millis curl() const { return diagnosis.wall - diagnosis.pauses.slept; }
  Millis own() const { return total - pauses.slept - curl(); }
  // Of the own time: the helper exchanges, with the networksetup runs in them.
  Millis helper() const {
    Millis sum{0};
    for (const auto& call : helperCalls) sum += call.wall;
    return sum;
  }
  int networksetupRuns() const {
    int runs = 0;
    for (const auto& call : helperCalls)
      for (std::size_t at = 0; (at = call.command.find("/usr/sbin/networksetup ", at)) != std::string::npos; ++at)
        ++runs;
    return runs;
  }
};

std::optional<Connect> connectOnce(MacProxyManager& manager, bench::PauseSummingClock& clock,
                                   bench::TimedDiagnosis& diagnosis, bench::TimedHelperCommands& helper,
                                   const channel::EncodableMap& arguments) {
  auto pausesBefore = clock.totals();
  auto before = SteadyClock::now();
  Reply reply = call(manager, channel::MethodCall("connectProxy", channel::EncodableValue(arguments)));
  Connect c;
  c.total = reply.at - before;
  c.pauses = clock.totals() - pausesBefore;
  auto calls = diagnosis.takeCalls();
  if (!reply.ok || calls.size() != 1) {
    std::fprintf(stderr, "connectProxy failed: %s\n", reply.text.c_str());
    return std::nullopt;
  }
  c.diagnosis = calls.front();
  c.helperCalls = helper.takeCalls();
  return c;
}

std::optional<Millis> disconnectOnce(MacProxyManager& manager, bench::TimedHelperCommands& helper) {
  auto before = SteadyClock::now();
  Reply reply = call(manager, channel::MethodCall("disconnectProxy"));
  if (!reply.ok) {
    std::fprintf(stderr, "disconnectProxy failed: %s\n", reply.text.c_str());
    return std::nullopt;
  }
  (void)helper.takeCalls();
  return reply.at - before;
}

void printConnect(const char* label, const Connect& c) {
  std::printf(
      "%-23s total %7.1f ms = pauses %7.1f ms (%d, asked %lld ms) + curl %6.1f ms + own %5.1f ms"
      " (helper %5.1f ms: %zu exchanges, %d networksetup runs)\n",
      label, c.total.count(), c.pauses.slept.count(), c.pauses.pauses, static_cast<long long>(c.pauses.asked.count()),
      c.curl().count(), c.own().count(), c.helper().count(), c.helperCalls.size(), c.networksetupRuns());
}

void printSummary(const char* label, const std::vector<double>& samples) {
  auto s = bench::summarize(samples);
  std::printf("  %-36s median %8.2f  best %8.2f  worst %8.2f ms  (n=%zu)\n", label, s.median, s.best, s.worst,
              s.count);
}

}  // namespace

int main(int argc, char** argv) {
  int cycles = argc > 1 ? std::atoi(argv[1]) : 10;
  std::string host = argc > 4 ? argv[2] : "127.0.0.1";
  int port = argc > 4 ? std::atoi(argv[3]) : 3128;
  std::string proxyProtocol = argc > 4 ? argv[4] : "http";
  if (cycles < 1 || port < 1) {
    std::fprintf(stderr, "usage: connect_overhead [CYCLES] [HOST PORT PROTOCOL]\n");
    return 2;
  }

  auto clock = std::make_shared<bench::PauseSummingClock>();
  auto diagnosis = std::make_shared<bench::TimedDiagnosis>(std::make_shared<ValidatorDiagnosis>(clock), clock);
  auto environment = productionEnvironment(clock, diagnosis, bench::installedBundle());
  auto helper = std::make_shared<bench::TimedHelperCommands>(environment.helper);
  environment.helper = helper;
  auto flows = std::make_shared<ProxyFlows>(environment);
  MacProxyManager manager(environment, flows);
  sharedMainQueue()->adoptCurrentThread();

  channel::EncodableMap arguments{
      {channel::EncodableValue("host"), channel::EncodableValue(host)},
      {channel::EncodableValue("port"), channel::EncodableValue(int32_t{port})},
      {channel::EncodableValue("protocol"), channel::EncodableValue(proxyProtocol)},
  };
  // The same transfers as the diagnosis makes, on their own, to show how much
  // of its non-pause time is curl's.
  platform::SystemClock unusedClock;
  validation::ProxyValidator validator(unusedClock);
  const std::string proxyUrl = validation::proxyUrls(host, port, proxyProtocol).front();
  const std::string probeUrl = validation::ValidationEndpoints{}.ipServiceUrls.front();

  std::printf("connectProxy %s://%s:%d, %d cycles of connect and disconnect\n", proxyProtocol.c_str(), host.c_str(),
              port, cycles);
  const bool installs = !helper->helperIsAvailable();
  (void)helper->takeCalls();
  auto first = connectOnce(manager, *clock, *diagnosis, *helper, arguments);
  if (!first || !disconnectOnce(manager, *helper)) return 1;
  printConnect(installs ? "first (installs helper)" : "first (helper present)", *first);

  std::vector<double> totals, pauses, curls, owns, helpers, rests, disconnects, probes, downloads;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    auto c = connectOnce(manager, *clock, *diagnosis, *helper, arguments);
    if (!c) return 1;
    auto d = disconnectOnce(manager, *helper);
    if (!d) return 1;
    char label[32];
    std::snprintf(label, sizeof label, "cycle %d", cycle + 1);
    printConnect(label, *c);
    totals.push_back(c->total.count());
    pauses.push_back(c->pauses.slept.count());
    curls.push_back(c->curl().count());
    owns.push_back(c->own().count());
    helpers.push_back(c->helper().count());
    rests.push_back((c->own() - c->helper()).count());
    disconnects.push_back(d->count());

    auto before = SteadyClock::now();
    bool probed = validator.runCurl(proxyUrl, std::nullopt, probeUrl, validation::ProxyValidator::kProbeTimeoutSeconds)
                      .has_value();
    auto between = SteadyClock::now();
    bool measured = validator.measureSpeed(proxyUrl, std::nullopt) != validation::kSpeedUnavailable;
    auto after = SteadyClock::now();
    if (probed && measured) {
      probes.push_back(Millis(between - before).count());
      downloads.push_back(Millis(after - between).count());
    }
  }

  std::printf("over %d cycles:\n", cycles);
  printSummary("connect, total", totals);
  printSummary("  pauses as slept", pauses);
  printSummary("  diagnosis less its pauses (curl)", curls);
  printSummary("  own time", owns);
  printSummary("    in helper exchanges", helpers);
  printSummary("    the rest", rests);
  printSummary("disconnect, total", disconnects);
  printSummary("curl alone: one probe", probes);
  printSummary("curl alone: the download", downloads);
  auto own = bench::summarize(owns);
  bench::printFigure("connect's own time (median; worst)", bench::format("%.1f ms; %.1f ms", own.median, own.worst),
                     bench::format("<= %.0f ms", kOverheadLimitMs), own.worst <= kOverheadLimitMs);
  return 0;
}
