#include "sysproxy/connect_command.h"

#include "frontendprotocol/proxy_protocols.h"
#include "helperprotocol/networksetup_invocations.h"
#include "sysproxy/networksetup_commands.h"

namespace tavlune::sysproxy {

std::string connectCommand(const std::vector<std::string>& services, const std::string& host, int64_t port,
                           const std::string& proxyProtocol, const std::string& username,
                           const std::string& password) {
  namespace hp = helperprotocol::networksetup;
  namespace fp = frontendprotocol;
  const std::string server = hp::serverArguments(
      host, port, hp::loginArguments(username.empty() ? std::nullopt : std::optional<std::string_view>(username), password));

  std::vector<std::string> commands;
  for (const std::string& service : services) {
    const std::string quoted = helperprotocol::shellQuoted(service);
    networksetup::appendSwitchOffBlock(commands, quoted);
    // The asterisk is quoted so that the shell does not expand it.
    commands.push_back(hp::invocation(hp::kSetProxyBypassDomains, quoted, "localhost 127.0.0.1 ::1 '*.local'"));
    if (proxyProtocol == fp::kSocks4Protocol || proxyProtocol == fp::kSocks5Protocol) {
      commands.push_back(hp::invocation(hp::kSetSocksFirewallProxy, quoted, server));
    } else if (proxyProtocol == fp::kHttpsProtocol) {
      commands.push_back(hp::invocation(hp::kSetSecureWebProxy, quoted, server));
    } else {
      commands.push_back(hp::invocation(hp::kSetWebProxy, quoted, server));
      commands.push_back(hp::invocation(hp::kSetSecureWebProxy, quoted, server));
    }
  }
  return networksetup::joined(commands);
}

}  // namespace tavlune::sysproxy
