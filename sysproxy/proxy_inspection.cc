#include "sysproxy/proxy_inspection.h"

#include <algorithm>
#include <string>

#include "frontendprotocol/proxy_protocols.h"
#include "model/coercion.h"
#include "model/proxy_dictionary.h"
#include "sysproxy/network_service_discovery.h"

namespace tavlune::sysproxy {
namespace {

namespace pl = platform::plist;
using model::isOn;
using model::kManualProxyKeys;
using model::ManualProxyKeys;
using model::valueAt;

const ManualProxyKeys& liveKeysFor(const std::string& proxyProtocol) {
  if (proxyProtocol.starts_with(frontendprotocol::kSocksProtocolPrefix)) return model::kSocksProxyKeys;
  if (proxyProtocol == frontendprotocol::kHttpsProtocol) return model::kSecureWebProxyKeys;
  return model::kWebProxyKeys;
}

// ASCII only: the gateway name is ASCII, so no other letter can match it.
std::string lowercased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : char(c); });
  return text;
}

// The protocol's switch on, host equal (case-sensitive) and port equal.
bool carries(const pl::Dictionary& proxies, const std::string& proxyProtocol, const std::string& host, int64_t port) {
  const ManualProxyKeys& keys = liveKeysFor(proxyProtocol);
  return isOn(proxies, keys.enable) && model::text(valueAt(proxies, keys.host)) == host &&
         model::integer(valueAt(proxies, keys.port)) == port;
}

}  // namespace

bool hasEnabledProxy(std::span<const uint8_t> configuration) {
  auto proxies = model::proxyDictionary(configuration);
  if (!proxies) return false;
  return std::any_of(kManualProxyKeys.begin(), kManualProxyKeys.end(),
                     [&](const ManualProxyKeys& keys) { return isOn(*proxies, keys.enable); });
}

bool containsTavluneGateway(std::span<const uint8_t> configuration) {
  auto proxies = model::proxyDictionary(configuration);
  if (!proxies) return false;
  for (const ManualProxyKeys& keys : kManualProxyKeys) {
    if (!isOn(*proxies, keys.enable)) continue;
    auto host = model::text(valueAt(*proxies, keys.host));
    if (host && lowercased(*host) == tavluneGatewayHost) return true;
  }
  return false;
}

bool servicePointsAt(std::span<const uint8_t> configuration, const std::string& host, int64_t port,
                     const std::string& proxyProtocol) {
  auto proxies = model::proxyDictionary(configuration);
  return proxies && carries(*proxies, proxyProtocol, host, port);
}

bool snapshotStillOwed(const model::StoredSnapshot& stored, platform::sysconfig::NetworkConfiguration& configuration) {
  const model::MacProxySnapshot& snapshot = stored.snapshot;
  if (!stored.copyRemoved || !snapshot.proxy) return true;
  auto services = enabledNetworkServices(configuration);
  if (!services) return true;
  const auto& [host, port, proxyProtocol] = *snapshot.proxy;
  return std::any_of(services->begin(), services->end(), [&](const model::MacNetworkServiceSnapshot& service) {
    return servicePointsAt(service.configuration, host, port, proxyProtocol);
  });
}

bool systemProxyCarries(const model::MacProxyConnectionState& state,
                        platform::sysconfig::NetworkConfiguration& configuration) {
  auto live = configuration.liveProxies();
  if (!live) return false;
  const pl::Dictionary* proxies = live->as<pl::Dictionary>();
  if (!proxies) return false;
  return carries(*proxies, state.proxyProtocol, state.host, state.port);
}

}  // namespace tavlune::sysproxy
