#include "sim/launchctl/job.h"

#include <cctype>
#include <fstream>
#include <iterator>

#include "platform/plist/plist.h"

namespace tavlune::sim {

namespace plist = platform::plist;

bool isValidLabel(const std::string& label) {
  if (label.empty() || label.front() == '.') return false;
  for (char c : label)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') return false;
  return true;
}

platform::Result<LaunchJob> readLaunchJob(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return unexpected(platform::Error::fromErrno("Could not read " + path));
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  auto value = plist::parse(std::string_view(bytes));
  if (!value) return unexpected(value.error());
  const auto* dict = value->as<plist::Dictionary>();
  if (!dict) return unexpected(platform::Error{"The job file is not a dictionary."});

  LaunchJob job;
  auto label = dict->find("Label");
  if (label == dict->end() || !label->second.is<std::string>())
    return unexpected(platform::Error{"The job file has no Label."});
  if (!isValidLabel(*label->second.as<std::string>()))
    return unexpected(platform::Error{"The job's Label is not a reverse-domain name."});
  job.label = *label->second.as<std::string>();

  auto arguments = dict->find("ProgramArguments");
  const auto* list = arguments == dict->end() ? nullptr : arguments->second.as<plist::Array>();
  if (!list || list->empty()) return unexpected(platform::Error{"The job file has no ProgramArguments."});
  for (const auto& item : *list) {
    const auto* text = item.as<std::string>();
    if (!text) return unexpected(platform::Error{"ProgramArguments holds something other than strings."});
    job.programArguments.push_back(*text);
  }
  if (job.programArguments.front().empty() || job.programArguments.front().front() != '/')
    return unexpected(platform::Error{"The program is not an absolute path."});

  auto flag = [&](const char* key) {
    auto it = dict->find(key);
    const bool* on = it == dict->end() ? nullptr : it->second.as<bool>();
    return on && *on;
  };
  job.runAtLoad = flag("RunAtLoad");
  job.keepAlive = flag("KeepAlive");
  job.abandonProcessGroup = flag("AbandonProcessGroup");
  return job;
}

}  // namespace tavlune::sim
