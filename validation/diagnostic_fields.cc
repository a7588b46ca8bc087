#include "validation/diagnostic_fields.h"

#include <algorithm>
#include <initializer_list>
#include <string>

#include "model/coercion.h"

namespace tavlune::validation {
namespace {

using platform::json::Json;
using model::MacProxyDiagnostic;

// A member's text. null, arrays and objects carry no name or address: their
// descriptions ("<null>", "<object of 2>") would otherwise be shown as one.
std::optional<std::string> memberText(const Json& object, const char* key) {
  auto it = object.find(key);
  if (it == object.end() || it->is_null() || it->is_array() || it->is_object()) return std::nullopt;
  return model::text(&*it);
}

std::optional<std::string> firstText(std::initializer_list<std::pair<const Json*, const char*>> candidates) {
  for (const auto& [object, key] : candidates)
    if (auto found = memberText(*object, key)) return found;
  return std::nullopt;
}

}  // namespace

std::optional<MacProxyDiagnostic> diagnosticFromAnswer(const Json& answer) {
  if (!answer.is_object()) return std::nullopt;
  auto ip = memberText(answer, "ip");
  if (!ip) return std::nullopt;

  static const Json kEmptyObject = Json::object();
  auto connection = answer.find("connection");
  const Json& c = connection != answer.end() && connection->is_object() ? *connection : kEmptyObject;
  const Json& j = answer;

  MacProxyDiagnostic record;
  record.ip = *ip;
  record.country = firstText({{&j, "country"}, {&j, "country_name"}}).value_or(kNotSupplied);
  // Country codes are ASCII; other bytes are left as they are.
  record.countryCode = firstText({{&j, "country_code"}, {&j, "countryCode"}}).value_or("");
  std::transform(record.countryCode.begin(), record.countryCode.end(), record.countryCode.begin(),
                 [](char ch) { return ch >= 'a' && ch <= 'z' ? char(ch - 'a' + 'A') : ch; });
  record.city = firstText({{&j, "city"}}).value_or(kNotSupplied);
  record.state = firstText({{&j, "region"}, {&j, "state"}}).value_or(kNotSupplied);
  record.isp = firstText({{&c, "isp"}, {&j, "org"}, {&j, "isp"}}).value_or(kNotSupplied);
  return record;
}

}  // namespace tavlune::validation
