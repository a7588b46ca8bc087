#include "sysproxy/networksetup_commands.h"

#include <string_view>

#include "helperprotocol/networksetup_invocations.h"

namespace tavlune::sysproxy::networksetup {
namespace {

namespace hp = helperprotocol::networksetup;

constexpr std::string_view kSeparator = " && ";

}  // namespace

void appendSwitchOffBlock(std::vector<std::string>& commands, const std::string& quotedService) {
  for (const hp::Subcommand& subcommand : {hp::kSetWebProxyState, hp::kSetSecureWebProxyState,
                                           hp::kSetSocksFirewallProxyState, hp::kSetAutoProxyState,
                                           hp::kSetProxyAutoDiscovery}) {
    commands.push_back(hp::invocation(subcommand, quotedService, "off"));
  }
}

std::string joined(const std::vector<std::string>& commands) {
  std::string line;
  for (size_t i = 0; i < commands.size(); ++i) {
    if (i > 0) line += kSeparator;
    line += commands[i];
  }
  return line;
}

std::vector<std::string> joinedLines(const std::vector<std::string>& commands, std::size_t maxCharacters) {
  std::vector<std::string> lines;
  for (const std::string& command : commands) {
    if (!lines.empty() && lines.back().size() + kSeparator.size() + command.size() < maxCharacters) {
      lines.back() += kSeparator;
      lines.back() += command;
    } else {
      lines.push_back(command);
    }
  }
  return lines;
}

}  // namespace tavlune::sysproxy::networksetup
