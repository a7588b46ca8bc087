#include "cli/reply_text.h"

#include <ctime>
#include <optional>

#include "cli/proof_progress.h"
#include "cli/proxy_url.h"
#include "frontendprotocol/keys.h"

namespace tavlune::cli {
namespace {

using channel::EncodableMap;
using channel::EncodableValue;
using namespace frontendprotocol;  // the channel's keys

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
  const std::string protocol = textOf(details, kProtocolKey), host = textOf(details, kHostKey);
  auto port = integerOf(details, kPortKey);
  if (protocol.empty() || host.empty() || !port) return {};
  std::string out = displayUrl(protocol, host, *port);
  if (auto at = integerOf(details, kConnectedAtKey)) out += " since " + localTime(*at);
  return out;
}

std::string statusText(const EncodableValue& state, const EncodableValue* details) {
  const std::string phase = textOf(state, kPhaseKey);
  if (phase == kOfflinePhase) {
    const EncodableValue* pending = details ? entry(*details, kTakeBackPendingKey) : nullptr;
    if (pending && *pending == EncodableValue(true))
      return "Not connected, but the proxy settings are still Tavlune's: taking them back has not finished "
             "(it is retried; tavlune disconnect tries now).\n";
    return "Not connected.\n";
  }
  if (phase != kConnectedPhase) return "Phase: " + orUnknown(phase) + "\n";
  std::string out;
  const std::string summary = details ? connectionSummary(*details) : std::string();
  if (!summary.empty()) {
    out = "Connected through " + summary + ".\n";
    std::string services;
    if (const EncodableValue* list = entry(*details, kServicesKey))
      if (const auto* names = std::get_if<channel::EncodableList>(list))
        for (const auto& name : *names)
          if (const auto* text = std::get_if<std::string>(&name)) services += (services.empty() ? "" : ", ") + *text;
    out += "  services: " + (services.empty() ? std::string("none (the system no longer shows the proxy)") : services) + "\n";
    if (const EncodableValue* webRtc = entry(*details, kWebRtcProtectionKey); webRtc && std::holds_alternative<bool>(*webRtc))
      out += std::string("  WebRTC:   protection ") + (std::get<bool>(*webRtc) ? "on" : "off") + "\n";
    if (const std::string type = textOf(state, kConnectionTypeKey); !type.empty()) out += "  type:     " + type + "\n";
  } else {
    out = "Connected (" + joined({textOf(state, kProtocolKey), textOf(state, kConnectionTypeKey)}) + ")";
    if (auto at = integerOf(state, kConnectedAtKey)) out += " since " + localTime(*at);
    out += ".\n";
  }
  if (const std::string profile = textOf(state, kProfileIdKey); !profile.empty()) out += "  profile:  " + profile + "\n";
  if (auto session = integerOf(state, kSessionIdKey); session && *session != 0)
    out += "  session:  " + std::to_string(*session) + "\n";
  std::string country = textOf(state, kCountryKey);
  if (const std::string code = textOf(state, kCountryCodeKey); !code.empty())
    country = country.empty() ? code : country + " (" + code + ")";
  if (const std::string place = joined({textOf(state, kCityKey), textOf(state, kStateKey), country}); !place.empty())
    out += "  location: " + place + "\n";
  return out;
}

std::string connectingText(const EncodableValue& progress) {
  std::string out = "Connecting";
  auto port = integerOf(progress, kPortKey);
  if (const std::string protocol = textOf(progress, kProtocolKey), host = textOf(progress, kHostKey); !host.empty() && port)
    out += " through " + displayUrl(protocol, host, *port);
  if (const std::string stage = progressText(progress); !stage.empty()) out += ": " + stage;
  out += ".\n";
  if (auto behind = integerOf(progress, kBehindKey); behind && *behind > 0)
    out += "  " + std::to_string(*behind) + " more connect" + (*behind == 1 ? " waits" : "s wait") + " behind it.\n";
  return out;
}

namespace {

bool flag(const EncodableValue& map, const char* key) {
  const EncodableValue* value = entry(map, key);
  return value && *value == EncodableValue(true);
}

// "on  host:port (user NAME)", "off", or "off (host:port)" for a switched-off one that keeps its host.
std::string manualProxyText(const EncodableValue* kind) {
  if (!kind) return "unknown";
  std::string out = flag(*kind, kEnabledKey) ? "on" : "off";
  std::string where;
  if (const std::string host = textOf(*kind, kHostKey); !host.empty()) {
    auto port = integerOf(*kind, kPortKey);
    where = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + (port ? ":" + std::to_string(*port) : "");
  }
  if (const std::string user = textOf(*kind, kUserKey); !user.empty()) where += (where.empty() ? "" : " ") + ("user " + user);
  if (where.empty()) return out;
  return flag(*kind, kEnabledKey) ? out + "  " + where : out + " (" + where + ")";
}

std::string settingsText(const EncodableValue& settings) {
  std::string autoConfig = "unknown", bypass;
  if (const EncodableValue* config = entry(settings, kAutoConfigKey)) {
    autoConfig = flag(*config, kEnabledKey) ? "on" : "off";
    if (const std::string url = textOf(*config, kUrlKey); !url.empty())
      autoConfig += flag(*config, kEnabledKey) ? "  " + url : " (" + url + ")";
  }
  if (const EncodableValue* list = entry(settings, kBypassKey))
    if (const auto* names = std::get_if<channel::EncodableList>(list))
      for (const auto& name : *names)
        if (const auto* text = std::get_if<std::string>(&name)) bypass += (bypass.empty() ? "" : ", ") + *text;
  return "  web proxy:           " + manualProxyText(entry(settings, kWebKey)) + "\n" +
         "  secure web proxy:    " + manualProxyText(entry(settings, kSecureWebKey)) + "\n" +
         "  SOCKS proxy:         " + manualProxyText(entry(settings, kSocksKey)) + "\n" +
         "  automatic config:    " + autoConfig + "\n" +
         "  automatic discovery: " + (flag(settings, kAutoDiscoveryKey) ? "on" : "off") + "\n" +
         "  bypass:              " + (bypass.empty() ? "none" : bypass) + "\n";
}

}  // namespace

std::string systemProxyText(const EncodableValue& view) {
  std::string out;
  if (const EncodableValue* list = entry(view, kServicesKey))
    if (const auto* services = std::get_if<channel::EncodableList>(list)) {
      if (services->empty()) out += "No enabled network service on an interface.\n";
      for (const auto& service : *services) out += orUnknown(textOf(service, kNameKey)) + ":\n" + settingsText(service);
    }
  if (const EncodableValue* live = entry(view, kLiveKey))
    out += std::string(out.empty() ? "" : "\n") + "In force (the primary service's, as macOS uses them):\n" + settingsText(*live);
  if (const std::string problem = textOf(view, kProblemKey); !problem.empty())
    out += "Not all could be read: " + problem + "\n";
  return out;
}

std::string inspectText(const EncodableValue& diagnostic) {
  std::string country = textOf(diagnostic, kCountryKey);
  if (const std::string code = textOf(diagnostic, kCountryCodeKey); !code.empty())
    country = country.empty() ? code : country + " (" + code + ")";
  return "IP address: " + orUnknown(textOf(diagnostic, kIpKey)) + "\n" +
         "Country:    " + orUnknown(country) + "\n" +
         "Region:     " + orUnknown(textOf(diagnostic, kStateKey)) + "\n" +
         "City:       " + orUnknown(textOf(diagnostic, kCityKey)) + "\n" +
         "ISP:        " + orUnknown(textOf(diagnostic, kIspKey)) + "\n" +
         "Speed:      " + orUnknown(textOf(diagnostic, kSpeedKey)) + "\n";
}

}  // namespace tavlune::cli
