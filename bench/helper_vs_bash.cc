// One networksetup command line run two ways: sent to the installed helper
// (connect, request line, the helper's own run, reply line), and run here
// with /bin/bash -c through the same process runner and environment as the
// helper uses. Pairs alternate which goes first, so that drift on a shared
// machine hits both alike. Runs inside the simulated host, as the user the
// helper serves; the service's web proxy is left switched off.
//
//   helper_vs_bash [PAIRS] [SERVICE]     default 200 Wi-Fi
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/sample_stats.h"
#include "helperclient/helper_client.h"
#include "helperd/command_runner.h"
#include "platform/process/process.h"
#include "helperprotocol/networksetup_invocations.h"
#include "sysproxy/networksetup_commands.h"

namespace {

using namespace tavlune;
using namespace tavlune::helperclient;
using namespace tavlune::sysproxy;
using helperprotocol::shellQuoted;
namespace hp = helperprotocol::networksetup;
using SteadyClock = std::chrono::steady_clock;
using Micros = std::chrono::duration<double, std::micro>;

constexpr double kRatioLimit = 1.1;

bool throughHelper(HelperClient& client, const std::string& line) { return client.sendHelperCommand(line).has_value(); }

bool throughBash(const std::string& line) {
  platform::ProcessOptions options;
  options.environment = helperd::commandEnvironment();
  auto finished = platform::runProcess(std::string(helperd::kShellPath), {"-c", line}, options);
  return finished && finished->succeeded();
}

}  // namespace

int main(int argc, char** argv) {
  int pairs = argc > 1 ? std::atoi(argv[1]) : 200;
  std::string service = argc > 2 ? argv[2] : "Wi-Fi";
  if (pairs < 1) {
    std::fprintf(stderr, "usage: helper_vs_bash [PAIRS] [SERVICE]\n");
    return 2;
  }
  const std::string quoted = shellQuoted(service);
  // Built by the application's own pieces, so the helper's test accepts it.
  const std::string line = networksetup::joined({
      hp::invocation(hp::kSetWebProxy, quoted, hp::serverArguments("127.0.0.1", 3128, "off")),
      hp::invocation(hp::kSetWebProxyState, quoted, "on"),
  });
  HelperClient client;
  if (!client.helperIsAvailable()) {
    std::fprintf(stderr, "the helper does not answer at %s\n", std::string(tavlune::helperprotocol::kSocketPath).c_str());
    return 1;
  }
  if (!throughHelper(client, line) || !throughBash(line)) {
    std::fprintf(stderr, "the command line failed: %s\n", line.c_str());
    return 1;
  }

  std::vector<double> helper, bash;
  for (int pair = 0; pair < pairs; ++pair) {
    for (int turn = 0; turn < 2; ++turn) {
      const bool helperTurn = (turn == 0) == (pair % 2 == 0);
      auto before = SteadyClock::now();
      bool ok = helperTurn ? throughHelper(client, line) : throughBash(line);
      auto took = Micros(SteadyClock::now() - before).count();
      if (!ok) {
        std::fprintf(stderr, "the command line failed through %s\n", helperTurn ? "the helper" : "bash");
        return 1;
      }
      (helperTurn ? helper : bash).push_back(took);
    }
  }
  (void)throughHelper(client, hp::invocation(hp::kSetWebProxyState, quoted, "off"));

  auto h = bench::summarize(helper), b = bench::summarize(bash);
  std::printf("%s\n%d runs each, alternating\n", line.c_str(), pairs);
  std::printf("  %-14s p50 %8.0f  p99 %8.0f  best %8.0f  worst %8.0f us\n", "helper", h.median, h.p99, h.best, h.worst);
  std::printf("  %-14s p50 %8.0f  p99 %8.0f  best %8.0f  worst %8.0f us\n", "bash -c", b.median, b.p99, b.best,
              b.worst);
  std::printf("  helper - bash: p50 %+.0f us\n", h.median - b.median);
  // Each pair ran back to back, so its ratio is little touched by slow drift
  // in the machine's load; shown beside the figure, not in its place.
  std::vector<double> pairRatios;
  for (std::size_t i = 0; i < helper.size(); ++i) pairRatios.push_back(helper[i] / bash[i]);
  auto r = bench::summarize(pairRatios);
  std::printf("  helper / bash within each pair: median %.3fx\n", r.median);
  const double medians = h.median / b.median, tails = h.p99 / b.p99;
  bench::printFigure("helper / bash -c, same line (p50 ratio; p99 ratio)", bench::format("%.3fx; %.3fx", medians, tails),
                     bench::format("<= %.1fx", kRatioLimit), medians <= kRatioLimit && tails <= kRatioLimit);
  return 0;
}
