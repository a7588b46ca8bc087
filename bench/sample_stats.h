// Order statistics of a run's samples, and the one line per figure that
// run_figures.sh gathers into its table.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace tavlune::bench {

struct Summary {
  std::size_t count = 0;
  double best = 0, median = 0, p99 = 0, worst = 0;
};

// Nearest rank: the smallest sample with at least q of all samples at or below it.
inline double percentile(const std::vector<double>& sorted, double q) {
  if (sorted.empty()) return 0;
  auto rank = static_cast<std::size_t>(std::ceil(q * static_cast<double>(sorted.size())));
  return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

inline Summary summarize(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  Summary s;
  s.count = samples.size();
  if (samples.empty()) return s;
  s.best = samples.front();
  s.median = percentile(samples, 0.5);
  s.p99 = percentile(samples, 0.99);
  s.worst = samples.back();
  return s;
}

// "FIGURE<TAB>name<TAB>measured<TAB>limit<TAB>yes|no": the table's row.
inline void printFigure(const std::string& name, const std::string& measured, const std::string& limit,
                        bool within) {
  std::printf("FIGURE\t%s\t%s\t%s\t%s\n", name.c_str(), measured.c_str(), limit.c_str(), within ? "yes" : "NO");
  std::fflush(stdout);
}

inline std::string format(const char* pattern, double a, double b = 0, double c = 0) {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, pattern, a, b, c);
  return buffer;
}

}  // namespace tavlune::bench
