#include "cli/reply_text.h"

#include <ctime>
#include <optional>

namespace tavlune::cli {
namespace {

using channel::EncodableMap;
using channel::EncodableValue;

const EncodableValue* entry(const EncodableValue& map, const char* key) {
  const auto* m = std::get_if<EncodableMap>(&map);
  if (!m) return nullptr;
  auto found = m->find(EncodableValue(key));
  return found == m->end() ? nullptr : &found->second;
}

// Text of a text entry; empty for a missing or non-text one.
std::string textOf(const EncodableValue& map, const char* key) {
  const EncodableValue* value = entry(map, key);
  const auto* text = value ? std::get_if<std::string>(value) : nullptr;
  return text ? *text : std::string();
}

std::optional<int64_t> integerOf(const EncodableValue& map, const char* key) {
  const EncodableValue* value = entry(map, key);
  if (!value || !(std::holds_alternative<int32_t>(*value) || std::holds_alternative<int64_t>(*value)))
    return std::nullopt;
  return value->LongValue();
}

std::string orUnknown(const std::string& text) { return text.empty() ? "unknown" : text; }

// "a, b, c" of the parts that are there.
std::string joined(std::initializer_list<std::string> parts) {
  std::string out;
  for (const auto& part : parts) {
    if (part.empty()) continue;
    if (!out.empty()) out += ", ";
    out += part;
  }
  return out;
}

}  // namespace

std::string utcTime(int64_t millisecondsSince1970) {
  const std::time_t seconds = static_cast<std::time_t>(millisecondsSince1970 / 1000);
  std::tm parts{};
  if (!gmtime_r(&seconds, &parts)) return std::to_string(millisecondsSince1970) + " ms";
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
  return text;
}

std::string statusText(const EncodableValue& state) {
  const std::string phase = textOf(state, "phase");
  if (phase == "offline") return "Not connected.\n";
  if (phase != "connected") return "Phase: " + orUnknown(phase) + "\n";
  std::string out = "Connected (" + joined({textOf(state, "protocol"), textOf(state, "connectionType")}) + ")";
  if (auto at = integerOf(state, "connectedAt")) out += " since " + utcTime(*at);
  out += ".\n";
  if (const std::string profile = textOf(state, "profileId"); !profile.empty()) out += "  profile:  " + profile + "\n";
  if (auto session = integerOf(state, "sessionId"); session && *session != 0)
    out += "  session:  " + std::to_string(*session) + "\n";
  std::string country = textOf(state, "country");
  if (const std::string code = textOf(state, "countryCode"); !code.empty())
    country = country.empty() ? code : country + " (" + code + ")";
  if (const std::string place = joined({textOf(state, "city"), textOf(state, "state"), country}); !place.empty())
    out += "  location: " + place + "\n";
  return out;
}

std::string inspectText(const EncodableValue& diagnostic) {
  std::string country = textOf(diagnostic, "country");
  if (const std::string code = textOf(diagnostic, "countryCode"); !code.empty())
    country = country.empty() ? code : country + " (" + code + ")";
  return "IP address: " + orUnknown(textOf(diagnostic, "ip")) + "\n" +
         "Country:    " + orUnknown(country) + "\n" +
         "Region:     " + orUnknown(textOf(diagnostic, "state")) + "\n" +
         "City:       " + orUnknown(textOf(diagnostic, "city")) + "\n" +
         "ISP:        " + orUnknown(textOf(diagnostic, "isp")) + "\n" +
         "Speed:      " + orUnknown(textOf(diagnostic, "speed")) + "\n";
}

}  // namespace tavlune::cli
