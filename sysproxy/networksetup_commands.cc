#include "sysproxy/networksetup_commands.h"

#include "model/shell_quoting.h"

namespace tavlune::sysproxy::networksetup {

using model::shellQuoted;

void appendSwitchOffBlock(std::vector<std::string>& commands, const std::string& quotedService) {
  for (std::string_view invocation :
       {setWebProxyState, setSecureWebProxyState, setSocksFirewallProxyState, setAutoProxyState, setProxyAutoDiscovery}) {
    commands.push_back(std::string(invocation) + quotedService + " off");
  }
}

std::string proxyCommand(std::string_view invocation, const std::string& quotedService, std::string_view host,
                         int64_t port, const std::string& authentication) {
  return std::string(invocation) + quotedService + " " + shellQuoted(host) + " " + std::to_string(port) + " " +
         authentication;
}

std::string joined(const std::vector<std::string>& commands) {
  std::string line;
  for (size_t i = 0; i < commands.size(); ++i) {
    if (i > 0) line += separator;
    line += commands[i];
  }
  return line;
}

std::vector<std::string> joinedLines(const std::vector<std::string>& commands, std::size_t maxCharacters) {
  std::vector<std::string> lines;
  for (const std::string& command : commands) {
    if (!lines.empty() && lines.back().size() + separator.size() + command.size() < maxCharacters) {
      lines.back() += separator;
      lines.back() += command;
    } else {
      lines.push_back(command);
    }
  }
  return lines;
}

}  // namespace tavlune::sysproxy::networksetup
