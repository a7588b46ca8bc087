#include "sysproxy/restore_commands.h"

#include <array>
#include <optional>

#include "manager/coercion.h"
#include "manager/mac_proxy_manager.h"
#include "manager/record_store.h"
#include "sysproxy/networksetup_commands.h"
#include "sysproxy/proxy_dictionary.h"
#include "sysproxy/shell_quoting.h"

namespace tavlune {
namespace {

namespace ns = networksetup;
namespace pl = platform::plist;
using proxykeys::isOn;
using proxykeys::valueAt;

struct RestorableProxy {
  std::string_view invocation;
  const char* switchKey;
  const char* hostKey;
  const char* portKey;
  const char* userKey;
};

constexpr std::array<RestorableProxy, 3> kRestorableProxies{{
    {ns::setWebProxy, "HTTPEnable", "HTTPProxy", "HTTPPort", "HTTPUser"},
    {ns::setSecureWebProxy, "HTTPSEnable", "HTTPSProxy", "HTTPSPort", "HTTPSUser"},
    {ns::setSocksFirewallProxy, "SOCKSEnable", "SOCKSProxy", "SOCKSPort", "SOCKSUser"},
}};

// Every entry must be text for the list to count.
std::optional<std::vector<std::string>> exceptions(const pl::Dictionary& proxies) {
  const pl::Value* value = valueAt(proxies, "ExceptionsList");
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
    auto host = text(valueAt(proxies, proxy.hostKey));
    auto port = integer(valueAt(proxies, proxy.portKey));
    if (!isOn(proxies, proxy.switchKey) || !host || !port) continue;
    auto user = text(valueAt(proxies, proxy.userKey));
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

  if (isOn(proxies, "ProxyAutoDiscoveryEnable")) {
    commands.push_back(std::string(ns::setProxyAutoDiscovery) + quoted + " on");
  }
  auto url = text(valueAt(proxies, "ProxyAutoConfigURLString"));
  if (isOn(proxies, "ProxyAutoConfigEnable") && url) {
    commands.push_back(std::string(ns::setAutoProxyUrl) + quoted + " " + shellQuoted(*url));
  }
}

}  // namespace

std::string disableProxyCommand(const std::vector<std::string>& services) {
  std::vector<std::string> commands;
  for (const std::string& service : services) ns::appendSwitchOffBlock(commands, shellQuoted(service));
  return ns::joined(commands);
}

std::string disconnectCommand(platform::UserDefaults& defaults) {
  auto snapshot = load<MacProxySnapshot>(defaults, MacProxyManager::snapshotKey);
  if (!snapshot) return ":";
  std::vector<std::string> commands;
  for (const MacNetworkServiceSnapshot& service : snapshot->services) {
    const std::string quoted = shellQuoted(service.name);
    ns::appendSwitchOffBlock(commands, quoted);
    // An unreadable blob leaves the service with everything off.
    if (auto proxies = proxykeys::proxyDictionary(service.configuration)) appendRestore(commands, quoted, *proxies);
  }
  return ns::joined(commands);
}

}  // namespace tavlune
