// The proxy protocols a connect or a check takes, in its "protocol" entry.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tavlune::frontendprotocol {

inline constexpr std::array<const char*, 4> kProxyProtocols = {"http", "https", "socks4", "socks5"};
// The protocol of a proxy given without one.
inline constexpr const char* kDefaultProxyProtocol = "http";

// The name in ASCII lower case when it is one of kProxyProtocols, else empty.
std::string allowedProxyProtocol(std::string_view name);

}  // namespace tavlune::frontendprotocol
