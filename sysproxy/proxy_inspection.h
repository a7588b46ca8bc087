// Read-only tests of proxy settings: one service's captured settings, and the
// live system proxy against a connection.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "model/records.h"
#include "model/snapshot_store.h"
#include "platform/sysconfig/network_configuration.h"

namespace tavlune::sysproxy {

// The host name of this system's own proxy gateway; settings pointing there
// were left by this system.
inline constexpr const char* tavluneGatewayHost = "gw.tavlune.com";

// Is a web, secure web or SOCKS proxy switched on? Automatic configuration
// and discovery do not count. False for an unreadable blob.
bool hasEnabledProxy(std::span<const uint8_t> configuration);

// Does a switched-on web, secure web or SOCKS proxy point at the gateway
// (host trimmed, compared without letter case, nothing else stripped)?
bool containsTavluneGateway(std::span<const uint8_t> configuration);

// Does one service's captured configuration carry the proxy, as the live test
// below reads the primary service?
bool servicePointsAt(std::span<const uint8_t> configuration, const std::string& host, int64_t port,
                     const std::string& proxyProtocol);

// Is the stored snapshot still to be put back? Yes, unless a take-back has
// already removed its file copy (and could not remove the rest) and no
// enabled service points at the proxy it was taken for any more: then the
// settings are the user's again, maybe changed since. A doubt (the services
// cannot be listed) keeps it.
bool snapshotStillOwed(const model::StoredSnapshot& stored, platform::sysconfig::NetworkConfiguration& configuration);

// Does the live system proxy carry the connection: the protocol's switch on,
// host equal (case-sensitive) and port equal? False without readable live
// settings.
bool systemProxyCarries(const model::MacProxyConnectionState& state,
                        platform::sysconfig::NetworkConfiguration& configuration);

}  // namespace tavlune::sysproxy
