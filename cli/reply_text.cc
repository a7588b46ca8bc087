#include "cli/reply_text.h"

#include <ctime>
#include <optional>

#include "cli/proxy_url.h"

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

std::string localTime(int64_t millisecondsSince1970) {
  const std::time_t seconds = static_cast<std::time_t>(millisecondsSince1970 / 1000);
  std::tm parts{};
  if (!localtime_r(&seconds, &parts)) return std::to_string(millisecondsSince1970) + " ms";
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %Z", &parts);
  return text;
}

std::string connectionSummary(const EncodableValue& details) {
  const std::string protocol = textOf(details, "protocol"), host = textOf(details, "host");
  auto port = integerOf(details, "port");
  if (protocol.empty() || host.empty() || !port) return {};
  std::string out = displayUrl(protocol, host, *port);
  if (auto at = integerOf(details, "connectedAt")) out += " since " + localTime(*at);
  return out;
}

std::string statusText(const EncodableValue& state, const EncodableValue* details) {
  const std::string phase = textOf(state, "phase");
  if (phase == "offline") {
    const EncodableValue* pending = details ? entry(*details, "takeBackPending") : nullptr;
    if (pending && *pending == EncodableValue(true))
      return "Not connected, but the proxy settings are still Tavlune's: taking them back has not finished "
             "(it is retried; tavlune disconnect tries now).\n";
    return "Not connected.\n";
  }
  if (phase != "connected") return "Phase: " + orUnknown(phase) + "\n";
  std::string out;
  const std::string summary = details ? connectionSummary(*details) : std::string();
  if (!summary.empty()) {
    out = "Connected through " + summary + ".\n";
    std::string services;
    if (const EncodableValue* list = entry(*details, "services"))
      if (const auto* names = std::get_if<channel::EncodableList>(list))
        for (const auto& name : *names)
          if (const auto* text = std::get_if<std::string>(&name)) services += (services.empty() ? "" : ", ") + *text;
    out += "  services: " + (services.empty() ? std::string("none (the system no longer shows the proxy)") : services) + "\n";
    if (const EncodableValue* webRtc = entry(*details, "webRtcProtection"); webRtc && std::holds_alternative<bool>(*webRtc))
      out += std::string("  WebRTC:   protection ") + (std::get<bool>(*webRtc) ? "on" : "off") + "\n";
    if (const std::string type = textOf(state, "connectionType"); !type.empty()) out += "  type:     " + type + "\n";
  } else {
    out = "Connected (" + joined({textOf(state, "protocol"), textOf(state, "connectionType")}) + ")";
    if (auto at = integerOf(state, "connectedAt")) out += " since " + localTime(*at);
    out += ".\n";
  }
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
