#include "sysproxy/connect_command.h"

#include "sysproxy/networksetup_commands.h"
#include "model/shell_quoting.h"

namespace tavlune::sysproxy {

std::string connectCommand(const std::vector<std::string>& services, const std::string& host, int64_t port,
                           const std::string& proxyProtocol, const std::string& username,
                           const std::string& password) {
  namespace ns = networksetup;
  using model::shellQuoted;
  const std::string authentication =
      username.empty() ? "off" : "on " + shellQuoted(username) + " " + shellQuoted(password);

  std::vector<std::string> commands;
  for (const std::string& service : services) {
    const std::string quoted = shellQuoted(service);
    ns::appendSwitchOffBlock(commands, quoted);
    // The asterisk is quoted so that the shell does not expand it.
    commands.push_back(std::string(ns::setProxyBypassDomains) + quoted + " localhost 127.0.0.1 ::1 '*.local'");
    if (proxyProtocol == "socks4" || proxyProtocol == "socks5") {
      commands.push_back(ns::proxyCommand(ns::setSocksFirewallProxy, quoted, host, port, authentication));
    } else if (proxyProtocol == "https") {
      commands.push_back(ns::proxyCommand(ns::setSecureWebProxy, quoted, host, port, authentication));
    } else {
      commands.push_back(ns::proxyCommand(ns::setWebProxy, quoted, host, port, authentication));
      commands.push_back(ns::proxyCommand(ns::setSecureWebProxy, quoted, host, port, authentication));
    }
  }
  return ns::joined(commands);
}

}  // namespace tavlune::sysproxy
