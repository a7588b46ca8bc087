#include "sim/networksetup/networksetup_tool.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <optional>

#include "platform/plist/value.h"
#include "sim/networksetup/preferences_store.h"
#include "sim/networksetup/service_lookup.h"

namespace tavlune::sim {
namespace {

namespace pl = platform::plist;
using platform::Error;
using platform::Result;
using platform::sysconfig::NetworkPreferences;

constexpr int kFailure = 1;
constexpr const char* kInvalidParameters = "** Error: The parameters were not valid.\n";

// One manual proxy kind: its keys in the proxy dictionary and its keychain item.
struct ProxyKind {
  const char* enable;
  const char* host;
  const char* port;
  const char* user;
  const char* authenticated;
  const char* keychainItem;
};

constexpr ProxyKind kWeb{"HTTPEnable", "HTTPProxy", "HTTPPort", "HTTPUser", "HTTPProxyAuthenticated", "HTTP"};
constexpr ProxyKind kSecureWeb{"HTTPSEnable", "HTTPSProxy", "HTTPSPort", "HTTPSUser", "HTTPSProxyAuthenticated",
                               "HTTPS"};
constexpr ProxyKind kSocks{"SOCKSEnable", "SOCKSProxy", "SOCKSPort", "SOCKSUser", "SOCKSProxyAuthenticated", "SOCKS"};

using Values = std::vector<std::string>;

// The editable state of one service while the lock is held.
struct ServiceEdit {
  pl::Dictionary& proxies;
  pl::Dictionary& passwords;
};

std::optional<bool> onOff(const std::string& word) {
  std::string lower = word;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  if (lower == "on") return true;
  if (lower == "off") return false;
  return std::nullopt;
}

std::optional<int64_t> portNumber(const std::string& text) {
  if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  int64_t port = 0;
  std::from_chars(text.data(), text.data() + text.size(), port);
  if (port > 65535) return std::nullopt;
  return port;
}

pl::Value number(int64_t value) { return pl::Value(value); }

// "<service> <host> <port> [on <user> <password> | off]"
bool validProxy(const Values& v) {
  if (v.size() < 2 || v[0].empty() || !portNumber(v[1])) return false;
  if (v.size() == 2) return true;
  auto authenticated = onOff(v[2]);
  if (!authenticated) return false;
  if (*authenticated) return v.size() == 5 && !v[3].empty();
  return v.size() == 3;
}

void setProxy(const ProxyKind& kind, ServiceEdit& edit, const Values& v) {
  edit.proxies[kind.host] = pl::Value(v[0]);
  edit.proxies[kind.port] = number(*portNumber(v[1]));
  edit.proxies[kind.enable] = number(1);
  const bool authenticated = v.size() == 5 && *onOff(v[2]);
  edit.proxies[kind.authenticated] = number(authenticated ? 1 : 0);
  if (authenticated) {
    edit.proxies[kind.user] = pl::Value(v[3]);
    edit.passwords[kind.keychainItem] = pl::Value(pl::Data(v[4].begin(), v[4].end()));
  } else {
    edit.proxies.erase(kind.user);
    edit.passwords.erase(kind.keychainItem);
  }
}

bool validSwitch(const Values& v) { return v.size() == 1 && onOff(v[0]); }

void setSwitch(const char* key, ServiceEdit& edit, const Values& v) { edit.proxies[key] = number(*onOff(v[0]) ? 1 : 0); }

// "Empty" alone clears the list, as the system's tool has it. Entries are
// taken as they come: a restore must be able to put back whatever was there.
bool validBypass(const Values& v) { return !v.empty(); }

void setBypass(ServiceEdit& edit, const Values& v) {
  if (v.size() == 1 && v[0] == "Empty") {
    edit.proxies.erase("ExceptionsList");
    return;
  }
  pl::Array domains;
  for (const std::string& domain : v) domains.push_back(pl::Value(domain));
  edit.proxies["ExceptionsList"] = pl::Value(std::move(domains));
}

bool validUrl(const Values& v) { return v.size() == 1 && !v[0].empty(); }

void setAutoProxyUrl(ServiceEdit& edit, const Values& v) {
  edit.proxies["ProxyAutoConfigURLString"] = pl::Value(v[0]);
  edit.proxies["ProxyAutoConfigEnable"] = number(1);
}

bool noValues(const Values& v) { return v.empty(); }

const pl::Value* member(const pl::Dictionary& d, const char* key) {
  auto it = d.find(key);
  return it == d.end() ? nullptr : &it->second;
}

bool flag(const pl::Dictionary& d, const char* key) {
  const pl::Value* value = member(d, key);
  if (!value) return false;
  if (auto n = value->as<int64_t>()) return *n != 0;
  if (auto b = value->as<bool>()) return *b;
  return false;
}

std::string textOf(const pl::Dictionary& d, const char* key, const std::string& otherwise) {
  const pl::Value* value = member(d, key);
  if (auto s = value ? value->as<std::string>() : nullptr) return *s;
  return otherwise;
}

std::string reportProxy(const ProxyKind& kind, const std::string&, const pl::Dictionary& p) {
  const pl::Value* port = member(p, kind.port);
  const int64_t* portValue = port ? port->as<int64_t>() : nullptr;
  return std::string("Enabled: ") + (flag(p, kind.enable) ? "Yes" : "No") + "\nServer: " + textOf(p, kind.host, "") +
         "\nPort: " + std::to_string(portValue ? *portValue : 0) +
         "\nAuthenticated Proxy Enabled: " + (flag(p, kind.authenticated) ? "1" : "0") + "\n";
}

std::string reportBypass(const std::string& service, const pl::Dictionary& p) {
  const pl::Value* list = member(p, "ExceptionsList");
  const pl::Array* domains = list ? list->as<pl::Array>() : nullptr;
  if (!domains || domains->empty()) return "There aren't any bypass domains set on " + service + ".\n";
  std::string out;
  for (const pl::Value& domain : *domains) {
    if (auto s = domain.as<std::string>()) out += *s + "\n";
  }
  return out;
}

std::string reportAutoProxyUrl(const std::string&, const pl::Dictionary& p) {
  return "URL: " + textOf(p, "ProxyAutoConfigURLString", "(null)") +
         "\nEnabled: " + (flag(p, "ProxyAutoConfigEnable") ? "Yes" : "No") + "\n";
}

std::string reportAutoDiscovery(const std::string&, const pl::Dictionary& p) {
  return std::string("Auto Proxy Discovery: ") + (flag(p, "ProxyAutoDiscoveryEnable") ? "On" : "Off") + "\n";
}

struct Subcommand {
  const char* option;
  const char* usage;
  bool (*valid)(const Values&);
  // Exactly one of the two.
  void (*apply)(ServiceEdit&, const Values&);
  std::string (*report)(const std::string& service, const pl::Dictionary& proxies);
};

#define PROXY_SETTER(kind) [](ServiceEdit& e, const Values& v) { setProxy(kind, e, v); }
#define SWITCH_SETTER(key) [](ServiceEdit& e, const Values& v) { setSwitch(key, e, v); }
#define PROXY_REPORT(kind) [](const std::string& s, const pl::Dictionary& p) { return reportProxy(kind, s, p); }

const std::array<Subcommand, 16> kSubcommands{{
    {"-setwebproxy", "<networkservice> <domain> <port number> <authenticated> <username> <password>", validProxy,
     PROXY_SETTER(kWeb), nullptr},
    {"-setsecurewebproxy", "<networkservice> <domain> <port number> <authenticated> <username> <password>",
     validProxy, PROXY_SETTER(kSecureWeb), nullptr},
    {"-setsocksfirewallproxy", "<networkservice> <domain> <port number> <authenticated> <username> <password>",
     validProxy, PROXY_SETTER(kSocks), nullptr},
    {"-setwebproxystate", "<networkservice> <on off>", validSwitch, SWITCH_SETTER("HTTPEnable"), nullptr},
    {"-setsecurewebproxystate", "<networkservice> <on off>", validSwitch, SWITCH_SETTER("HTTPSEnable"), nullptr},
    {"-setsocksfirewallproxystate", "<networkservice> <on off>", validSwitch, SWITCH_SETTER("SOCKSEnable"), nullptr},
    {"-setautoproxystate", "<networkservice> <on off>", validSwitch, SWITCH_SETTER("ProxyAutoConfigEnable"), nullptr},
    {"-setproxyautodiscovery", "<networkservice> <on off>", validSwitch, SWITCH_SETTER("ProxyAutoDiscoveryEnable"),
     nullptr},
    {"-setproxybypassdomains", "<networkservice> <domain1> [domain2] [...]", validBypass, setBypass, nullptr},
    {"-setautoproxyurl", "<networkservice> <url>", validUrl, setAutoProxyUrl, nullptr},
    {"-getwebproxy", "<networkservice>", noValues, nullptr, PROXY_REPORT(kWeb)},
    {"-getsecurewebproxy", "<networkservice>", noValues, nullptr, PROXY_REPORT(kSecureWeb)},
    {"-getsocksfirewallproxy", "<networkservice>", noValues, nullptr, PROXY_REPORT(kSocks)},
    {"-getproxybypassdomains", "<networkservice>", noValues, nullptr, reportBypass},
    {"-getautoproxyurl", "<networkservice>", noValues, nullptr, reportAutoProxyUrl},
    {"-getproxyautodiscovery", "<networkservice>", noValues, nullptr, reportAutoDiscovery},
}};

#undef PROXY_SETTER
#undef SWITCH_SETTER
#undef PROXY_REPORT

ToolOutcome failure(std::string message) { return {kFailure, "", std::move(message)}; }

ToolOutcome listAllNetworkServices(const PreferencesStore& store) {
  auto preferences = store.read();
  if (!preferences) return failure("** Error: " + preferences.error().description + "\n");
  auto services = preferences->orderedServices();
  if (!services) return failure("** Error: " + services.error().description + "\n");
  std::string out = "An asterisk (*) denotes that a network service is disabled.\n";
  for (const auto& service : *services) {
    if (service.name) out += (service.enabled ? "" : "*") + *service.name + "\n";
  }
  return {0, out, ""};
}

std::string unknownService(const std::string& service) {
  return service + " is not a recognized network service.\n" + kInvalidParameters;
}

ToolOutcome report(const Subcommand& sub, const std::string& service, const PreferencesStore& store) {
  auto preferences = store.read();
  if (!preferences) return failure("** Error: " + preferences.error().description + "\n");
  auto id = serviceIDNamed(*preferences, service);
  if (!id) return failure("** Error: " + id.error().description + "\n");
  if (!*id) return failure(unknownService(service));
  pl::Dictionary root = preferences->root();
  const pl::Dictionary* proxies = mutableProxies(root, **id);
  return {0, sub.report(service, proxies ? *proxies : pl::Dictionary{}), ""};
}

ToolOutcome change(const Subcommand& sub, const std::string& service, const Values& values,
                   const PreferencesStore& store) {
  bool unknown = false;
  auto updated = store.update([&](pl::Dictionary& root, Keychain& keychain) -> Result<bool> {
    auto id = serviceIDNamed(NetworkPreferences(root), service);
    if (!id) return unexpected(id.error());
    if (!*id) {
      unknown = true;
      return false;
    }
    pl::Dictionary* proxies = mutableProxies(root, **id);
    if (!proxies) return unexpected(Error{"The service " + service + " cannot be changed."});
    // A setting already as asked leaves both files alone: a connect sends
    // many such switch-offs, and each write costs two flushes to the disk.
    const pl::Dictionary proxiesBefore = *proxies;
    const Keychain keychainBefore = keychain;
    pl::Value& items = keychain[**id];
    if (!items.is<pl::Dictionary>()) items = pl::Value(pl::Dictionary{});
    ServiceEdit edit{*proxies, *items.as<pl::Dictionary>()};
    sub.apply(edit, values);
    if (items.as<pl::Dictionary>()->empty()) keychain.erase(**id);
    return !(*proxies == proxiesBefore) || !(keychain == keychainBefore);
  });
  if (!updated) return failure("** Error: " + updated.error().description + "\n");
  if (unknown) return failure(unknownService(service));
  return {0, "", ""};
}

}  // namespace

ToolOutcome runNetworksetup(const std::vector<std::string>& arguments, const std::string& preferencesPath) {
  PreferencesStore store(preferencesPath);
  if (arguments.empty()) return failure("Usage: networksetup -<command> [arguments]\n");
  const std::string& option = arguments[0];
  if (option == "-listallnetworkservices") {
    if (arguments.size() != 1) return failure(std::string("Usage: networksetup -listallnetworkservices\n") + kInvalidParameters);
    return listAllNetworkServices(store);
  }
  auto sub = std::find_if(kSubcommands.begin(), kSubcommands.end(),
                          [&](const Subcommand& s) { return option == s.option; });
  if (sub == kSubcommands.end()) return failure(option + " is not a recognized command.\n");
  const Values values(arguments.size() > 2 ? arguments.begin() + 2 : arguments.end(), arguments.end());
  if (arguments.size() < 2 || !sub->valid(values)) {
    return failure("Usage: networksetup " + std::string(sub->option) + " " + sub->usage + "\n" + kInvalidParameters);
  }
  return sub->apply ? change(*sub, arguments[1], values, store) : report(*sub, arguments[1], store);
}

}  // namespace tavlune::sim
