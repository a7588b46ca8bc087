#include "cli/error_hints.h"

#include <map>
#include <utility>

#include "channel/messenger_method_channel.h"
#include "frontendprotocol/error_codes.h"

namespace tavlune::cli {

std::string errorHint(const std::string& command, const std::string& code) {
  using namespace frontendprotocol;  // the channel's error codes
  static const std::string notCarried =
      "the proxy did not carry a test request: check its host, port, protocol, user name and "
      "password, and that it is up (curl -x URL https://ipinfo.io/json tries it alone)";
  // A command of its own first, then any command.
  static const std::map<std::pair<std::string, std::string>, std::string> hints = {
      {{"inspect", kValidationFailedCode},
       "there is nothing to inspect until a proxy is connected: tavlune status shows the connection"},
      {{"connect", kValidationFailedCode}, notCarried},
      {{"check", kValidationFailedCode}, notCarried},
      {{"", kExistingProxyCode},
       "another program or person switched a system proxy on: switch it off in the network settings "
       "(networksetup -setwebproxystate, -setsecurewebproxystate, -setsocksfirewallproxystate SERVICE off), then connect again"},
      {{"", kAuthorizationCancelledCode},
       "an administrator must approve once, to install TavluneDesktop's helper: run the command again and approve"},
      {{"", kConfigurationFailedCode},
       "tavlune helper shows whether the helper that changes the settings answers; tavlune status shows what is in force"},
      {{"", channel::kMalformedMethodCallCode}, "the call did not decode: see tavlune call --help"},
  };
  if (auto found = hints.find({command, code}); found != hints.end()) return found->second;
  if (auto found = hints.find({"", code}); found != hints.end()) return found->second;
  return {};
}

std::string alreadyConnectedText(const std::string& summary) {
  return "Tavlune itself is connected" + (summary.empty() ? std::string() : " through " + summary) +
         ": tavlune disconnect first, then connect again.";
}

}  // namespace tavlune::cli
