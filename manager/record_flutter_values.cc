#include <limits>

#include "manager/records.h"

namespace tavlune {
namespace {

using channel::EncodableMap;
using channel::EncodableValue;

// A small integer travels as int32 on the channel, as the platform codec
// writes number objects that fit; larger ones as int64.
EncodableValue channelInteger(int64_t value) {
  if (value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max())
    return EncodableValue(static_cast<int32_t>(value));
  return EncodableValue(value);
}

void putOptional(EncodableMap& map, const char* key, const std::optional<std::string>& value) {
  if (value) map[EncodableValue(key)] = EncodableValue(*value);
}

}  // namespace

EncodableValue flutterValue(const MacProxyConnectionState& r) {
  EncodableMap map;
  map[EncodableValue("phase")] = EncodableValue("connected");
  map[EncodableValue("connectionType")] = EncodableValue(r.connectionType);
  map[EncodableValue("sessionId")] = channelInteger(r.sessionId);
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

}  // namespace tavlune
