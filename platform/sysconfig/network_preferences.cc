#include "platform/sysconfig/network_preferences.h"

#include <algorithm>
#include <set>

#include "platform/plist/plist.h"

namespace tavlune::platform::sysconfig {
namespace {

namespace pl = plist;

constexpr std::string_view kSetsPrefix = "/Sets/";
constexpr std::string_view kServicesPrefix = "/NetworkServices/";

const pl::Value* member(const pl::Dictionary& dictionary, const std::string& key) {
  auto it = dictionary.find(key);
  return it == dictionary.end() ? nullptr : &it->second;
}

const pl::Dictionary* dictionaryAt(const pl::Dictionary& dictionary, const std::string& key) {
  const pl::Value* value = member(dictionary, key);
  return value ? value->as<pl::Dictionary>() : nullptr;
}

const std::string* stringAt(const pl::Dictionary& dictionary, const std::string& key) {
  const pl::Value* value = member(dictionary, key);
  return value ? value->as<std::string>() : nullptr;
}

// A set's entry normally links to its service; without a usable link the
// entry's own key names it.
std::string linkedServiceID(const std::string& key, const pl::Value& entry) {
  if (const pl::Dictionary* link = entry.as<pl::Dictionary>()) {
    if (const std::string* target = stringAt(*link, "__LINK__"); target && target->starts_with(kServicesPrefix)) {
      return target->substr(kServicesPrefix.size());
    }
  }
  return key;
}

NetworkService describe(const std::string& serviceID, const pl::Dictionary& service) {
  NetworkService described;
  described.serviceID = serviceID;
  if (const std::string* name = stringAt(service, "UserDefinedName"); name && !name->empty()) described.name = *name;
  // The platform marks a disabled service by the key's presence alone.
  described.enabled = member(service, "__INACTIVE__") == nullptr;
  if (const pl::Dictionary* interface = dictionaryAt(service, "Interface")) {
    described.hasInterface = true;
    if (const std::string* device = stringAt(*interface, "DeviceName"); device && !device->empty()) {
      described.bsdName = *device;
    }
  }
  if (const pl::Value* proxies = member(service, "Proxies")) described.proxies = *proxies;
  return described;
}

}  // namespace

Result<NetworkPreferences> NetworkPreferences::fromBytes(std::span<const uint8_t> bytes) {
  auto parsed = pl::parse(bytes);
  if (!parsed) return unexpected(parsed.error());
  pl::Dictionary* root = parsed->as<pl::Dictionary>();
  if (!root) return unexpected(Error{"The network preferences are not a dictionary."});
  return NetworkPreferences(std::move(*root));
}

Result<const pl::Dictionary*> NetworkPreferences::currentSet() const {
  const std::string* current = stringAt(root_, "CurrentSet");
  const pl::Dictionary* sets = dictionaryAt(root_, "Sets");
  if (!current || !current->starts_with(kSetsPrefix) || !sets) {
    return unexpected(Error{"The network preferences name no current set."});
  }
  const pl::Dictionary* set = dictionaryAt(*sets, current->substr(kSetsPrefix.size()));
  if (!set) return unexpected(Error{"The network preferences name no current set."});
  return set;
}

Result<std::vector<NetworkService>> NetworkPreferences::currentServices() const {
  auto set = currentSet();
  if (!set) return unexpected(set.error());
  const pl::Dictionary* network = dictionaryAt(**set, "Network");
  const pl::Dictionary* members = network ? dictionaryAt(*network, "Service") : nullptr;
  if (!members) return unexpected(Error{"The current network set has no service list."});

  const pl::Dictionary* services = dictionaryAt(root_, "NetworkServices");
  std::vector<NetworkService> result;
  std::set<std::string> seen;
  for (const auto& [key, entry] : *members) {
    const std::string serviceID = linkedServiceID(key, entry);
    // A link to a service that does not exist gives no service object.
    const pl::Dictionary* service = services ? dictionaryAt(*services, serviceID) : nullptr;
    if (!service || !seen.insert(serviceID).second) continue;
    result.push_back(describe(serviceID, *service));
  }
  return result;
}

Result<std::vector<NetworkService>> NetworkPreferences::orderedServices() const {
  auto services = currentServices();
  if (!services) return services;
  auto set = currentSet();
  const pl::Dictionary* network = dictionaryAt(**set, "Network");
  const pl::Dictionary* global = dictionaryAt(*network, "Global");
  const pl::Dictionary* ipv4 = global ? dictionaryAt(*global, "IPv4") : nullptr;
  const pl::Value* order = ipv4 ? member(*ipv4, "ServiceOrder") : nullptr;
  const pl::Array* ids = order ? order->as<pl::Array>() : nullptr;

  std::vector<NetworkService> ordered;
  std::vector<NetworkService>& rest = *services;
  if (ids) {
    for (const pl::Value& id : *ids) {
      const std::string* text = id.as<std::string>();
      if (!text) continue;
      auto it = std::find_if(rest.begin(), rest.end(), [&](const NetworkService& s) { return s.serviceID == *text; });
      if (it == rest.end()) continue;
      ordered.push_back(std::move(*it));
      rest.erase(it);
    }
  }
  for (NetworkService& service : rest) ordered.push_back(std::move(service));
  return ordered;
}

Result<pl::Value> NetworkPreferences::primaryProxies() const {
  auto services = orderedServices();
  if (!services) return unexpected(services.error());
  for (const NetworkService& service : *services) {
    if (!service.enabled || !service.bsdName) continue;
    return service.proxies ? *service.proxies : pl::Value(pl::Dictionary{});
  }
  return pl::Value(pl::Dictionary{});
}

}  // namespace tavlune::platform::sysconfig
