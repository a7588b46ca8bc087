#include "sim/launchctl/job_environment.h"

#include <algorithm>
#include <fstream>

namespace tavlune::sim {
namespace {

std::string nameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

}  // namespace

std::vector<std::string> jobEnvironment(char* const* inherited, const std::string& settingPath) {
  std::vector<std::string> entries;
  for (char* const* entry = inherited; entry && *entry; ++entry) entries.emplace_back(*entry);
  std::ifstream setting(settingPath);
  for (std::string line; std::getline(setting, line);) {
    const auto equals = line.find('=');
    if (equals == std::string::npos || equals == 0) continue;
    const std::string name = nameOf(line);
    std::erase_if(entries, [&](const std::string& entry) { return nameOf(entry) == name; });
    entries.push_back(line);
  }
  return entries;
}

}  // namespace tavlune::sim
