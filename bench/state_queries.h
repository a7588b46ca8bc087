// The two state queries that the figures time, what a connected system
// answers to them, and how their samples are reported.
#pragma once

#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "bench/sample_stats.h"
#include "channel/encodable_value.h"
#include "frontendprotocol/channels.h"
#include "frontendprotocol/keys.h"

namespace tavlune::bench {

inline constexpr double kStateQueryP99LimitMs = 1.0;

struct QuerySamples {
  const char* method;
  std::vector<double> microseconds;
  std::size_t unexpectedReplies = 0;
};

inline std::vector<QuerySamples> stateQueries() { return {{frontendprotocol::vpn::kGetConnectionState, {}, 0}, {frontendprotocol::vpn::kConfirmProxyConnection, {}, 0}}; }

// The state's map says "connected", the confirmation says true; anything else
// would time another path.
inline bool isConnectedAnswer(const std::string& method, const channel::EncodableValue* value) {
  if (!value) return false;
  if (method == frontendprotocol::vpn::kConfirmProxyConnection) {
    const bool* flag = std::get_if<bool>(value);
    return flag && *flag;
  }
  const auto* map = std::get_if<channel::EncodableMap>(value);
  if (!map) return false;
  auto phase = map->find(channel::EncodableValue(frontendprotocol::kPhaseKey));
  return phase != map->end() && phase->second == channel::EncodableValue(frontendprotocol::kConnectedPhase);
}

// Each query's spread, then its figure line ("WHERE" names what was timed);
// false, with no figures, when some answer was not a connected system's.
inline bool reportQueries(const std::vector<QuerySamples>& queries, const std::string& where) {
  bool answered = true;
  for (const auto& query : queries) {
    auto s = summarize(query.microseconds);
    std::printf("  %-24s p50 %7.1f  p99 %7.1f  best %7.1f  worst %8.1f us\n", query.method, s.median, s.p99, s.best,
                s.worst);
    if (query.unexpectedReplies > 0) {
      std::fprintf(stderr, "%s: %zu answers were not those of a connected system\n", query.method,
                   query.unexpectedReplies);
      answered = false;
    }
  }
  if (!answered) return false;
  for (const auto& query : queries) {
    auto s = summarize(query.microseconds);
    printFigure(std::string(query.method) + " " + where + " (p50; p99)",
                format("%.3f ms; %.3f ms", s.median / 1000, s.p99 / 1000),
                format("p99 <= %.0f ms", kStateQueryP99LimitMs), s.p99 / 1000 <= kStateQueryP99LimitMs);
  }
  return true;
}

}  // namespace tavlune::bench
