// A service's "Proxies" dictionary: its keys, and reading it out of the
// configuration blob of a MacNetworkServiceSnapshot.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/plist/value.h"

namespace tavlune::model {

// The keys of one manual proxy kind.
struct ManualProxyKeys {
  const char* enable;
  const char* host;
  const char* port;
  const char* user;
};

inline constexpr ManualProxyKeys kWebProxyKeys{"HTTPEnable", "HTTPProxy", "HTTPPort", "HTTPUser"};
inline constexpr ManualProxyKeys kSecureWebProxyKeys{"HTTPSEnable", "HTTPSProxy", "HTTPSPort", "HTTPSUser"};
inline constexpr ManualProxyKeys kSocksProxyKeys{"SOCKSEnable", "SOCKSProxy", "SOCKSPort", "SOCKSUser"};
// Web, secure web, SOCKS: the order in which they are read and restored.
inline constexpr std::array<ManualProxyKeys, 3> kManualProxyKeys{kWebProxyKeys, kSecureWebProxyKeys, kSocksProxyKeys};

inline constexpr const char* kExceptionsListKey = "ExceptionsList";
inline constexpr const char* kAutoDiscoveryEnableKey = "ProxyAutoDiscoveryEnable";
inline constexpr const char* kAutoConfigEnableKey = "ProxyAutoConfigEnable";
inline constexpr const char* kAutoConfigURLKey = "ProxyAutoConfigURLString";

// The blob as a dictionary; absent when it is not a property list or holds
// something else. The parse error carries nothing a caller could act on.
std::optional<platform::plist::Dictionary> proxyDictionary(std::span<const uint8_t> configuration);

const platform::plist::Value* valueAt(const platform::plist::Dictionary& proxies, const std::string& key);

// A switch is on only when its integer value is exactly 1.
bool isOn(const platform::plist::Dictionary& proxies, const std::string& key);

}  // namespace tavlune::model
