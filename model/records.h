// The records kept across runs, in user defaults, as JSON, each under its own key.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/json/json.h"

namespace tavlune::model {

// The proxy connection that this application has put in force.
struct MacProxyConnectionState {
  std::string host;
  int64_t port = 0;
  std::string proxyProtocol;
  std::string connectionType;
  std::optional<std::string> profileId;
  int64_t sessionId = 0;
  std::optional<std::string> countryCode;
  std::optional<std::string> country;
  std::optional<std::string> state;
  std::optional<std::string> city;
  int64_t connectedAt = 0;  // milliseconds since 1970

  bool operator==(const MacProxyConnectionState&) const = default;
};

// One network service and its proxy dictionary as a binary property list.
struct MacNetworkServiceSnapshot {
  std::string name;
  std::vector<uint8_t> configuration;

  bool operator==(const MacNetworkServiceSnapshot&) const = default;
};

// The proxy a connect pointed the services at.
struct MacSnapshotProxy {
  std::string host;
  int64_t port = 0;
  std::string proxyProtocol;

  bool operator==(const MacSnapshotProxy&) const = default;
};

// The services' proxy settings as they were before a connect, and the proxy
// that connect applied; absent in a snapshot stored by an older build.
struct MacProxySnapshot {
  std::vector<MacNetworkServiceSnapshot> services;
  std::optional<MacSnapshotProxy> proxy = std::nullopt;

  bool operator==(const MacProxySnapshot&) const = default;
};

// What the last successful validation of the connected proxy found out.
struct MacProxyDiagnostic {
  std::string ip;
  std::string country;
  std::string countryCode;
  std::string city;
  std::string state;
  std::string isp;
  std::string speed;

  bool operator==(const MacProxyDiagnostic&) const = default;
};

// JSON forms. Decoding ignores unknown members, treats a null optional member
// as absent, and refuses the whole record when a required member is missing,
// null or of the wrong type, or when Base64 is invalid.
platform::json::Json toJson(const MacProxyConnectionState& record);
platform::json::Json toJson(const MacNetworkServiceSnapshot& record);
platform::json::Json toJson(const MacProxySnapshot& record);
platform::json::Json toJson(const MacProxyDiagnostic& record);

template <typename Record>
std::optional<Record> recordFromJson(const platform::json::Json& json);
template <>
std::optional<MacProxyConnectionState> recordFromJson(const platform::json::Json& json);
template <>
std::optional<MacNetworkServiceSnapshot> recordFromJson(const platform::json::Json& json);
template <>
std::optional<MacProxySnapshot> recordFromJson(const platform::json::Json& json);
template <>
std::optional<MacProxyDiagnostic> recordFromJson(const platform::json::Json& json);

// The user-defaults key of each record.
template <typename Record>
inline constexpr const char* recordKey = nullptr;
template <>
inline constexpr const char* recordKey<MacProxyConnectionState> = "com.tavlune.macos.proxy-state";
template <>
inline constexpr const char* recordKey<MacProxySnapshot> = "com.tavlune.macos.proxy-snapshot";
template <>
inline constexpr const char* recordKey<MacProxyDiagnostic> = "com.tavlune.macos.proxy-diagnostic";

}  // namespace tavlune::model
