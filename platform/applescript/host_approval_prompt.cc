#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>

#include "platform/applescript/applescript.h"
#include "platform/files/files.h"
#include "platform/text/trim.h"

namespace tavlune::platform {
namespace {

std::optional<Approval> hostSetting(const std::string& path) {
  std::ifstream file(path);
  if (!file) return std::nullopt;
  std::string answer((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::string_view word = text::trimWhitespaceAndNewlines(answer);
  if (word == "approve") return Approval::approved;
  if (word == "cancel") return Approval::cancelled;
  // Anything else, "fail" included, is a failed authorization: never an approval.
  return Approval::failed;
}

std::optional<Approval> askTerminal(const std::string& path, const std::string& command) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string question = "\nTavlune wants to change the network settings with administrator privileges by running:\n\n  " +
                         command + "\n\nAllow? [y/N] ";
  std::string line;
  bool asked = files::writeAll(fd, question, path).has_value();
  char c;
  while (asked && line.size() < 64) {
    ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    line += c;
  }
  close(fd);
  if (!asked) return std::nullopt;
  std::string_view answer = text::trimWhitespaceAndNewlines(line);
  return answer == "y" || answer == "Y" || answer == "yes" ? Approval::approved : Approval::cancelled;
}

}  // namespace

Approval HostApprovalPrompt::ask(const std::string& command) {
  if (auto setting = hostSetting(settingPath_)) return *setting;
  if (auto answer = askTerminal(terminalPath_, command)) return *answer;
  return Approval::noOneToAsk;
}

}  // namespace tavlune::platform
