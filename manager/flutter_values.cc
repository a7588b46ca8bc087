#include <limits>

#include "frontendprotocol/error_codes.h"
#include "frontendprotocol/keys.h"
#include "manager/flutter_values.h"

namespace tavlune::manager {
namespace {

using model::MacProxyConnectionState;
using model::MacProxyDiagnostic;
using model::MacProxyError;

using channel::EncodableMap;
using channel::EncodableValue;
using namespace frontendprotocol;  // the channel's keys and codes

void putOptional(EncodableMap& map, const char* key, const std::optional<std::string>& value) {
  if (value) map[EncodableValue(key)] = EncodableValue(*value);
}

}  // namespace

EncodableValue flutterValue(const MacProxyConnectionState& r) {
  EncodableMap map;
  map[EncodableValue(kPhaseKey)] = EncodableValue(kConnectedPhase);
  map[EncodableValue(kConnectionTypeKey)] = EncodableValue(r.connectionType);
  map[EncodableValue(kSessionIdKey)] = channel::integerValue(r.sessionId);
  map[EncodableValue(kProtocolKey)] = EncodableValue(r.proxyProtocol);
  map[EncodableValue(kConnectedAtKey)] = EncodableValue(r.connectedAt);
  putOptional(map, kProfileIdKey, r.profileId);
  putOptional(map, kCountryCodeKey, r.countryCode);
  putOptional(map, kCountryKey, r.country);
  putOptional(map, kStateKey, r.state);
  putOptional(map, kCityKey, r.city);
  return EncodableValue(std::move(map));
}

EncodableValue flutterValue(const MacProxyDiagnostic& r) {
  EncodableMap map;
  map[EncodableValue(kIpKey)] = EncodableValue(r.ip);
  map[EncodableValue(kCountryKey)] = EncodableValue(r.country);
  map[EncodableValue(kCountryCodeKey)] = EncodableValue(r.countryCode);
  map[EncodableValue(kCityKey)] = EncodableValue(r.city);
  map[EncodableValue(kStateKey)] = EncodableValue(r.state);
  map[EncodableValue(kIspKey)] = EncodableValue(r.isp);
  map[EncodableValue(kSpeedKey)] = EncodableValue(r.speed);
  return EncodableValue(std::move(map));
}

channel::FlutterError flutterError(const model::AnyError& error) {
  std::string code = kConfigurationFailedCode;
  if (const auto* own = std::get_if<MacProxyError>(&error)) {
    switch (own->kind()) {
      case MacProxyError::Kind::validationFailed: code = kValidationFailedCode; break;
      case MacProxyError::Kind::existingProxy: code = kExistingProxyCode; break;
      case MacProxyError::Kind::authorizationCancelled: code = kAuthorizationCancelledCode; break;
      default: break;
    }
  }
  return channel::FlutterError{code, model::localizedDescription(error), std::nullopt};
}

}  // namespace tavlune::manager
