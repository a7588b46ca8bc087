// The proxy protocols a connect or a check takes, in its "protocol" entry.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tavlune::frontendprotocol {

inline constexpr const char* kHttpProtocol = "http";
inline constexpr const char* kHttpsProtocol = "https";
inline constexpr const char* kSocks4Protocol = "socks4";
inline constexpr const char* kSocks5Protocol = "socks5";
inline constexpr std::array<const char*, 4> kProxyProtocols = {kHttpProtocol, kHttpsProtocol, kSocks4Protocol,
                                                              kSocks5Protocol};
// The protocol of a proxy given without one.
inline constexpr const char* kDefaultProxyProtocol = kHttpProtocol;
// Reading a machine's settings, any protocol whose name begins so is SOCKS.
inline constexpr std::string_view kSocksProtocolPrefix = "socks";

// The name in ASCII lower case when it is one of kProxyProtocols, else empty.
std::string allowedProxyProtocol(std::string_view name);

}  // namespace tavlune::frontendprotocol
