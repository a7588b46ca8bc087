#include "model/records.h"
#include "platform/text/base64.h"

namespace tavlune::model {
namespace {

using platform::json::Json;

// Reads members of one JSON object; the first unusable required member marks
// the whole record unreadable.
class Reader {
 public:
  explicit Reader(const Json& json) : object_(json.is_object() ? &json : nullptr), ok_(object_ != nullptr) {}

  bool ok() const { return ok_; }

  std::string requiredText(const char* name) {
    const Json* member = find(name);
    if (!member || !member->is_string()) return fail<std::string>();
    return member->get<std::string>();
  }

  int64_t requiredInteger(const char* name) {
    const Json* member = find(name);
    auto value = member ? platform::json::wholeNumber(*member) : std::nullopt;
    if (!value) return fail<int64_t>();
    return *value;
  }

  std::optional<std::string> optionalText(const char* name) {
    const Json* member = find(name);
    if (!member || member->is_null()) return std::nullopt;
    if (!member->is_string()) return fail<std::optional<std::string>>();
    return member->get<std::string>();
  }

  std::vector<uint8_t> requiredBytes(const char* name) {
    auto decoded = platform::text::base64Decode(requiredText(name));
    if (!decoded) return fail<std::vector<uint8_t>>();
    return *decoded;
  }

  const Json* requiredArray(const char* name) {
    const Json* member = find(name);
    if (!member || !member->is_array()) return fail<const Json*>();
    return member;
  }

  // Absent when missing or null; any other non-object makes the record unreadable.
  const Json* optionalObject(const char* name) {
    const Json* member = find(name);
    if (!member || member->is_null()) return nullptr;
    if (!member->is_object()) return fail<const Json*>();
    return member;
  }

 private:
  const Json* find(const char* name) const {
    if (!object_) return nullptr;
    auto it = object_->find(name);
    return it == object_->end() ? nullptr : &*it;
  }

  template <typename T>
  T fail() {
    ok_ = false;
    return T{};
  }

  const Json* object_;
  bool ok_;
};

void putOptional(Json& json, const char* name, const std::optional<std::string>& value) {
  if (value) json[name] = *value;
}

}  // namespace

Json toJson(const MacProxyConnectionState& r) {
  Json json = {{"host", r.host}, {"port", r.port}, {"proxyProtocol", r.proxyProtocol},
               {"connectionType", r.connectionType}};
  putOptional(json, "profileId", r.profileId);
  json["sessionId"] = r.sessionId;
  putOptional(json, "countryCode", r.countryCode);
  putOptional(json, "country", r.country);
  putOptional(json, "state", r.state);
  putOptional(json, "city", r.city);
  json["connectedAt"] = r.connectedAt;
  return json;
}

Json toJson(const MacNetworkServiceSnapshot& r) {
  return {{"name", r.name}, {"configuration", platform::text::base64Encode(r.configuration)}};
}

Json toJson(const MacProxySnapshot& r) {
  Json services = Json::array();
  for (const auto& service : r.services) services.push_back(toJson(service));
  Json json = {{"services", std::move(services)}};
  if (r.proxy)
    json["proxy"] = {{"host", r.proxy->host}, {"port", r.proxy->port}, {"proxyProtocol", r.proxy->proxyProtocol}};
  return json;
}

Json toJson(const MacProxyDiagnostic& r) {
  return {{"ip", r.ip},         {"country", r.country}, {"countryCode", r.countryCode}, {"city", r.city},
          {"state", r.state},   {"isp", r.isp},         {"speed", r.speed}};
}

template <>
std::optional<MacProxyConnectionState> recordFromJson(const Json& json) {
  Reader in(json);
  MacProxyConnectionState r;
  r.host = in.requiredText("host");
  r.port = in.requiredInteger("port");
  r.proxyProtocol = in.requiredText("proxyProtocol");
  r.connectionType = in.requiredText("connectionType");
  r.profileId = in.optionalText("profileId");
  r.sessionId = in.requiredInteger("sessionId");
  r.countryCode = in.optionalText("countryCode");
  r.country = in.optionalText("country");
  r.state = in.optionalText("state");
  r.city = in.optionalText("city");
  r.connectedAt = in.requiredInteger("connectedAt");
  if (!in.ok()) return std::nullopt;
  return r;
}

template <>
std::optional<MacNetworkServiceSnapshot> recordFromJson(const Json& json) {
  Reader in(json);
  MacNetworkServiceSnapshot r;
  r.name = in.requiredText("name");
  r.configuration = in.requiredBytes("configuration");
  if (!in.ok()) return std::nullopt;
  return r;
}

template <>
std::optional<MacProxySnapshot> recordFromJson(const Json& json) {
  Reader in(json);
  const Json* services = in.requiredArray("services");
  if (!in.ok()) return std::nullopt;
  MacProxySnapshot r;
  for (const Json& item : *services) {
    auto service = recordFromJson<MacNetworkServiceSnapshot>(item);
    if (!service) return std::nullopt;
    r.services.push_back(std::move(*service));
  }
  if (const Json* proxy = in.optionalObject("proxy")) {
    Reader of(*proxy);
    MacSnapshotProxy taken{of.requiredText("host"), of.requiredInteger("port"), of.requiredText("proxyProtocol")};
    if (!of.ok()) return std::nullopt;
    r.proxy = std::move(taken);
  }
  if (!in.ok()) return std::nullopt;
  return r;
}

template <>
std::optional<MacProxyDiagnostic> recordFromJson(const Json& json) {
  Reader in(json);
  MacProxyDiagnostic r;
  r.ip = in.requiredText("ip");
  r.country = in.requiredText("country");
  r.countryCode = in.requiredText("countryCode");
  r.city = in.requiredText("city");
  r.state = in.requiredText("state");
  r.isp = in.requiredText("isp");
  r.speed = in.requiredText("speed");
  if (!in.ok()) return std::nullopt;
  return r;
}

}  // namespace tavlune::model
