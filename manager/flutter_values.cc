#include <limits>

#include "manager/flutter_values.h"

namespace tavlune::manager {
namespace {

using model::MacProxyConnectionState;
using model::MacProxyDiagnostic;
using model::MacProxyError;

using channel::EncodableMap;
using channel::EncodableValue;

void putOptional(EncodableMap& map, const char* key, const std::optional<std::string>& value) {
  if (value) map[EncodableValue(key)] = EncodableValue(*value);
}

}  // namespace

EncodableValue flutterValue(const MacProxyConnectionState& r) {
  EncodableMap map;
  map[EncodableValue("phase")] = EncodableValue("connected");
  map[EncodableValue("connectionType")] = EncodableValue(r.connectionType);
  map[EncodableValue("sessionId")] = channel::integerValue(r.sessionId);
  map[EncodableValue("protocol")] = EncodableValue(r.proxyProtocol);
  map[EncodableValue("connectedAt")] = EncodableValue(r.connectedAt);
  putOptional(map, "profileId", r.profileId);
  putOptional(map, "countryCode", r.countryCode);
  putOptional(map, "country", r.country);
  putOptional(map, "state", r.state);
  putOptional(map, "city", r.city);
  return EncodableValue(std::move(map));
}

EncodableValue flutterValue(const MacProxyDiagnostic& r) {
  EncodableMap map;
  map[EncodableValue("ip")] = EncodableValue(r.ip);
  map[EncodableValue("country")] = EncodableValue(r.country);
  map[EncodableValue("countryCode")] = EncodableValue(r.countryCode);
  map[EncodableValue("city")] = EncodableValue(r.city);
  map[EncodableValue("state")] = EncodableValue(r.state);
  map[EncodableValue("isp")] = EncodableValue(r.isp);
  map[EncodableValue("speed")] = EncodableValue(r.speed);
  return EncodableValue(std::move(map));
}

channel::FlutterError flutterError(const model::AnyError& error) {
  std::string code = "PROXY_CONFIGURATION_FAILED";
  if (const auto* own = std::get_if<MacProxyError>(&error)) {
    switch (own->kind()) {
      case MacProxyError::Kind::validationFailed: code = "PROXY_VALIDATION_FAILED"; break;
      case MacProxyError::Kind::existingProxy: code = "EXISTING_PROXY_ACTIVE"; break;
      case MacProxyError::Kind::authorizationCancelled: code = "AUTHORIZATION_CANCELLED"; break;
      default: break;
    }
  }
  return channel::FlutterError{code, model::localizedDescription(error), std::nullopt};
}

}  // namespace tavlune::manager
