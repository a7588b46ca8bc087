#include "sysproxy/proxy_inspection.h"

#include <algorithm>
#include <array>
#include <string>

#include "manager/coercion.h"
#include "manager/mac_proxy_manager.h"
#include "manager/record_store.h"
#include "sysproxy/proxy_dictionary.h"

namespace tavlune {
namespace {

namespace pl = platform::plist;
using proxykeys::isOn;
using proxykeys::valueAt;

struct ProxyRow {
  const char* switchKey;
  const char* hostKey;
};

constexpr std::array<ProxyRow, 3> kManualProxies{{
    {"HTTPEnable", "HTTPProxy"},
    {"HTTPSEnable", "HTTPSProxy"},
    {"SOCKSEnable", "SOCKSProxy"},
}};

struct LiveKeys {
  const char* switchKey;
  const char* hostKey;
  const char* portKey;
};

LiveKeys liveKeysFor(const std::string& proxyProtocol) {
  if (proxyProtocol.starts_with("socks")) return {"SOCKSEnable", "SOCKSProxy", "SOCKSPort"};
  if (proxyProtocol == "https") return {"HTTPSEnable", "HTTPSProxy", "HTTPSPort"};
  return {"HTTPEnable", "HTTPProxy", "HTTPPort"};
}

// ASCII only: the gateway name is ASCII, so no other letter can match it.
std::string lowercased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : char(c); });
  return text;
}

}  // namespace

bool hasEnabledProxy(std::span<const uint8_t> configuration) {
  auto proxies = proxykeys::proxyDictionary(configuration);
  if (!proxies) return false;
  return std::any_of(kManualProxies.begin(), kManualProxies.end(),
                     [&](const ProxyRow& row) { return isOn(*proxies, row.switchKey); });
}

bool containsTavluneGateway(std::span<const uint8_t> configuration) {
  auto proxies = proxykeys::proxyDictionary(configuration);
  if (!proxies) return false;
  for (const ProxyRow& row : kManualProxies) {
    if (!isOn(*proxies, row.switchKey)) continue;
    auto host = text(valueAt(*proxies, row.hostKey));
    if (host && lowercased(*host) == tavluneGatewayHost) return true;
  }
  return false;
}

bool servicePointsAt(std::span<const uint8_t> configuration, const std::string& host, int64_t port,
                     const std::string& proxyProtocol) {
  auto proxies = proxykeys::proxyDictionary(configuration);
  if (!proxies) return false;
  const LiveKeys keys = liveKeysFor(proxyProtocol);
  return isOn(*proxies, keys.switchKey) && text(valueAt(*proxies, keys.hostKey)) == host &&
         integer(valueAt(*proxies, keys.portKey)) == port;
}

bool systemProxyMatchesCurrentState(platform::UserDefaults& defaults,
                                    platform::sysconfig::NetworkConfiguration& configuration) {
  auto state = load<MacProxyConnectionState>(defaults, MacProxyManager::stateKey);
  if (!state) return false;
  auto live = configuration.liveProxies();
  if (!live) return false;
  const pl::Dictionary* proxies = live->as<pl::Dictionary>();
  if (!proxies) return false;
  const LiveKeys keys = liveKeysFor(state->proxyProtocol);
  auto host = text(valueAt(*proxies, keys.hostKey));
  auto port = integer(valueAt(*proxies, keys.portKey));
  return integer(valueAt(*proxies, keys.switchKey)) == 1 && host == state->host && port == state->port;
}

}  // namespace tavlune
