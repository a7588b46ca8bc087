#include "sysproxy/restore_commands.h"

#include <algorithm>
#include <array>
#include <optional>

#include "helperprotocol/networksetup_invocations.h"
#include "helperprotocol/protocol.h"
#include "model/coercion.h"
#include "model/proxy_dictionary.h"
#include "sysproxy/networksetup_commands.h"

namespace tavlune::sysproxy {
namespace {

namespace ns = networksetup;
namespace hp = helperprotocol::networksetup;
namespace pl = platform::plist;
using helperprotocol::shellQuoted;
using model::integer;
using model::isOn;
using model::text;
using model::valueAt;

struct RestorableProxy {
  hp::Subcommand server;
  hp::Subcommand switchState;
  model::ManualProxyKeys keys;
};

constexpr std::array<RestorableProxy, 3> kRestorableProxies{{
    {hp::kSetWebProxy, hp::kSetWebProxyState, model::kWebProxyKeys},
    {hp::kSetSecureWebProxy, hp::kSetSecureWebProxyState, model::kSecureWebProxyKeys},
    {hp::kSetSocksFirewallProxy, hp::kSetSocksFirewallProxyState, model::kSocksProxyKeys},
}};

struct Server {
  std::string host;
  int64_t port;
};

std::optional<Server> serverOf(const pl::Dictionary& proxies, const model::ManualProxyKeys& keys) {
  auto host = text(valueAt(proxies, keys.host));
  auto port = integer(valueAt(proxies, keys.port));
  if (!host || !port) return std::nullopt;
  return Server{std::move(*host), *port};
}

// Every entry must be text for the list to count.
std::optional<std::vector<std::string>> exceptions(const pl::Dictionary& proxies) {
  const pl::Value* value = valueAt(proxies, model::kExceptionsListKey);
  const pl::Array* list = value ? value->as<pl::Array>() : nullptr;
  if (!list || list->empty()) return std::nullopt;
  std::vector<std::string> entries;
  for (const pl::Value& entry : *list) {
    const std::string* text = entry.as<std::string>();
    if (!text) return std::nullopt;
    entries.push_back(*text);
  }
  return entries;
}

// Setting a proxy switches it on, so one that was off is switched off again
// at once: its host, port and user come back as they were typed in.
void appendProxy(std::vector<std::string>& commands, const std::string& quoted, const RestorableProxy& proxy,
                 const Server& server, const std::string& login, bool on) {
  commands.push_back(hp::invocation(proxy.server, quoted, hp::serverArguments(server.host, server.port, login)));
  if (!on) commands.push_back(hp::invocation(proxy.switchState, quoted, "off"));
}

// Each kind the snapshot has a server for comes back, on or off. A kind it
// has none for keeps what the connect wrote (the tool cannot empty a host),
// but not the connect's user name: "off" drops it.
void appendProxies(std::vector<std::string>& commands, const std::string& quoted, const pl::Dictionary* before,
                   const pl::Dictionary* live) {
  for (const RestorableProxy& proxy : kRestorableProxies) {
    if (auto server = before ? serverOf(*before, proxy.keys) : std::nullopt) {
      auto user = text(valueAt(*before, proxy.keys.user));
      // The password lives outside the dictionary and is not restored.
      const std::string login = hp::loginArguments(user ? std::optional<std::string_view>(*user) : std::nullopt, "");
      appendProxy(commands, quoted, proxy, *server, login, isOn(*before, proxy.keys.enable));
    } else if (auto current = live ? serverOf(*live, proxy.keys) : std::nullopt;
               current && text(valueAt(*live, proxy.keys.user))) {
      appendProxy(commands, quoted, proxy, *current, hp::loginArguments(std::nullopt, ""), false);
    }
  }
}

// The bypass list, always; discovery and the configuration URL when on.
void appendBypassAndAutomatic(std::vector<std::string>& commands, const std::string& quoted,
                              const pl::Dictionary& proxies) {
  std::string domains;
  if (auto entries = exceptions(proxies)) {
    for (const std::string& entry : *entries) domains += (domains.empty() ? "" : " ") + shellQuoted(entry);
  } else {
    domains = "Empty";
  }
  commands.push_back(hp::invocation(hp::kSetProxyBypassDomains, quoted, domains));

  if (isOn(proxies, model::kAutoDiscoveryEnableKey)) {
    commands.push_back(hp::invocation(hp::kSetProxyAutoDiscovery, quoted, "on"));
  }
  auto url = text(valueAt(proxies, model::kAutoConfigURLKey));
  if (isOn(proxies, model::kAutoConfigEnableKey) && url) {
    commands.push_back(hp::invocation(hp::kSetAutoProxyUrl, quoted, shellQuoted(*url)));
  }
}

std::vector<std::string> restoreInvocations(const model::MacProxySnapshot& snapshot,
                                            const std::vector<model::MacNetworkServiceSnapshot>& live) {
  std::vector<std::string> commands;
  for (const model::MacNetworkServiceSnapshot& service : snapshot.services) {
    const std::string quoted = shellQuoted(service.name);
    ns::appendSwitchOffBlock(commands, quoted);
    auto now = std::find_if(live.begin(), live.end(), [&](const auto& s) { return s.name == service.name; });
    const auto current = now == live.end() ? std::nullopt : model::proxyDictionary(now->configuration);
    // An unreadable blob leaves the service with everything off.
    const auto proxies = model::proxyDictionary(service.configuration);
    appendProxies(commands, quoted, proxies ? &*proxies : nullptr, current ? &*current : nullptr);
    if (proxies) appendBypassAndAutomatic(commands, quoted, *proxies);
  }
  return commands;
}

}  // namespace

std::string disableProxyCommand(const std::vector<std::string>& services) {
  std::vector<std::string> commands;
  for (const std::string& service : services) ns::appendSwitchOffBlock(commands, shellQuoted(service));
  return ns::joined(commands);
}

std::string disconnectCommand(const std::optional<model::MacProxySnapshot>& snapshot,
                              const std::vector<model::MacNetworkServiceSnapshot>& live) {
  if (!snapshot) return ":";
  return ns::joined(restoreInvocations(*snapshot, live));
}

std::vector<std::string> disconnectCommandLines(const std::optional<model::MacProxySnapshot>& snapshot,
                                                const std::vector<model::MacNetworkServiceSnapshot>& live) {
  if (!snapshot) return {};
  return ns::joinedLines(restoreInvocations(*snapshot, live), helperprotocol::kMaxCommandCharacters);
}

}  // namespace tavlune::sysproxy
