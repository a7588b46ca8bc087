// Reading a service's proxy dictionary: the configuration blob of a
// MacNetworkServiceSnapshot, and the switches, hosts and ports inside it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/plist/value.h"

namespace tavlune::proxykeys {

// The blob as a dictionary; absent when it is not a property list or holds
// something else. The parse error carries nothing a caller could act on.
std::optional<platform::plist::Dictionary> proxyDictionary(std::span<const uint8_t> configuration);

const platform::plist::Value* valueAt(const platform::plist::Dictionary& proxies, const std::string& key);

// A switch is on only when its integer value is exactly 1.
bool isOn(const platform::plist::Dictionary& proxies, const std::string& key);

}  // namespace tavlune::proxykeys
