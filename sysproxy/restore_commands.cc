#include "sysproxy/restore_commands.h"

#include <array>
#include <optional>

#include "model/coercion.h"
#include "model/proxy_dictionary.h"
#include "model/shell_quoting.h"
#include "sysproxy/networksetup_commands.h"

namespace tavlune::sysproxy {
namespace {

namespace ns = networksetup;
namespace pl = platform::plist;
using model::integer;
using model::isOn;
using model::shellQuoted;
using model::text;
using model::valueAt;

struct RestorableProxy {
  std::string_view invocation;
  model::ManualProxyKeys keys;
};

constexpr std::array<RestorableProxy, 3> kRestorableProxies{{
    {ns::setWebProxy, model::kWebProxyKeys},
    {ns::setSecureWebProxy, model::kSecureWebProxyKeys},
    {ns::setSocksFirewallProxy, model::kSocksProxyKeys},
}};

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

void appendRestore(std::vector<std::string>& commands, const std::string& quoted, const pl::Dictionary& proxies) {
  for (const RestorableProxy& proxy : kRestorableProxies) {
    auto host = text(valueAt(proxies, proxy.keys.host));
    auto port = integer(valueAt(proxies, proxy.keys.port));
    if (!isOn(proxies, proxy.keys.enable) || !host || !port) continue;
    auto user = text(valueAt(proxies, proxy.keys.user));
    // The password lives outside the dictionary and is not restored.
    const std::string authentication = user ? "on " + shellQuoted(*user) + " ''" : "off";
    commands.push_back(ns::proxyCommand(proxy.invocation, quoted, *host, *port, authentication));
  }

  std::string bypass = std::string(ns::setProxyBypassDomains) + quoted;
  if (auto entries = exceptions(proxies)) {
    for (const std::string& entry : *entries) bypass += " " + shellQuoted(entry);
  } else {
    bypass += " Empty";
  }
  commands.push_back(std::move(bypass));

  if (isOn(proxies, model::kAutoDiscoveryEnableKey)) {
    commands.push_back(std::string(ns::setProxyAutoDiscovery) + quoted + " on");
  }
  auto url = text(valueAt(proxies, model::kAutoConfigURLKey));
  if (isOn(proxies, model::kAutoConfigEnableKey) && url) {
    commands.push_back(std::string(ns::setAutoProxyUrl) + quoted + " " + shellQuoted(*url));
  }
}

}  // namespace

std::string disableProxyCommand(const std::vector<std::string>& services) {
  std::vector<std::string> commands;
  for (const std::string& service : services) ns::appendSwitchOffBlock(commands, shellQuoted(service));
  return ns::joined(commands);
}

std::string disconnectCommand(const std::optional<model::MacProxySnapshot>& snapshot) {
  if (!snapshot) return ":";
  std::vector<std::string> commands;
  for (const model::MacNetworkServiceSnapshot& service : snapshot->services) {
    const std::string quoted = shellQuoted(service.name);
    ns::appendSwitchOffBlock(commands, quoted);
    // An unreadable blob leaves the service with everything off.
    if (auto proxies = model::proxyDictionary(service.configuration)) appendRestore(commands, quoted, *proxies);
  }
  return ns::joined(commands);
}

}  // namespace tavlune::sysproxy
