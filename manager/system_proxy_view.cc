#include "manager/system_proxy_view.h"

#include "frontendprotocol/keys.h"
#include "model/coercion.h"
#include "model/mac_proxy_error.h"
#include "model/proxy_dictionary.h"
#include "sysproxy/network_service_discovery.h"

namespace tavlune::manager {
namespace {

namespace pl = platform::plist;
using channel::EncodableList;
using channel::EncodableMap;
using channel::EncodableValue;
using model::valueAt;
using namespace frontendprotocol;  // the view's keys

void putText(EncodableMap& map, const char* key, const pl::Dictionary& proxies, const char* from) {
  if (auto text = model::text(valueAt(proxies, from))) map[EncodableValue(key)] = EncodableValue(*text);
}

EncodableValue manualProxy(const pl::Dictionary& proxies, const model::ManualProxyKeys& keys) {
  EncodableMap map{{EncodableValue(kEnabledKey), EncodableValue(model::isOn(proxies, keys.enable))}};
  putText(map, kHostKey, proxies, keys.host);
  if (auto port = model::integer(valueAt(proxies, keys.port)))
    map[EncodableValue(kPortKey)] = channel::integerValue(*port);
  putText(map, kUserKey, proxies, keys.user);
  return EncodableValue(std::move(map));
}

EncodableMap settings(const pl::Dictionary& proxies) {
  EncodableMap autoConfig{
      {EncodableValue(kEnabledKey), EncodableValue(model::isOn(proxies, model::kAutoConfigEnableKey))}};
  putText(autoConfig, kUrlKey, proxies, model::kAutoConfigURLKey);
  EncodableList bypass;
  if (const auto* list = valueAt(proxies, model::kExceptionsListKey); list && list->as<pl::Array>())
    for (const auto& entry : *list->as<pl::Array>())
      if (auto text = model::text(&entry)) bypass.emplace_back(*text);
  return {
      {EncodableValue(kWebKey), manualProxy(proxies, model::kWebProxyKeys)},
      {EncodableValue(kSecureWebKey), manualProxy(proxies, model::kSecureWebProxyKeys)},
      {EncodableValue(kSocksKey), manualProxy(proxies, model::kSocksProxyKeys)},
      {EncodableValue(kAutoConfigKey), EncodableValue(std::move(autoConfig))},
      {EncodableValue(kAutoDiscoveryKey), EncodableValue(model::isOn(proxies, model::kAutoDiscoveryEnableKey))},
      {EncodableValue(kBypassKey), EncodableValue(std::move(bypass))},
  };
}

}  // namespace

EncodableValue systemProxyView(platform::sysconfig::NetworkConfiguration& network) {
  EncodableMap view;
  std::string problem;
  if (auto services = sysproxy::enabledNetworkServices(network)) {
    EncodableList list;
    for (const auto& service : *services) {
      EncodableMap entry = settings(model::proxyDictionary(service.configuration).value_or(pl::Dictionary{}));
      entry[EncodableValue(kNameKey)] = EncodableValue(service.name);
      list.emplace_back(std::move(entry));
    }
    view[EncodableValue(kServicesKey)] = EncodableValue(std::move(list));
  } else {
    problem = model::localizedDescription(services.error());
  }
  auto live = network.liveProxies();
  if (live && live->as<pl::Dictionary>()) {
    view[EncodableValue(kLiveKey)] = EncodableValue(settings(*live->as<pl::Dictionary>()));
  } else if (problem.empty()) {
    problem = live ? "The live proxy settings are not a dictionary." : live.error().description;
  }
  if (!problem.empty()) view[EncodableValue(kProblemKey)] = EncodableValue(problem);
  return EncodableValue(std::move(view));
}

}  // namespace tavlune::manager
