// The command line that points every listed network service at one proxy.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavlune::sysproxy {

// Per service: every proxy kind switched off, the fixed bypass list, then the
// proxy ("socks4"/"socks5": SOCKS; "https": secure web; anything else: web
// and secure web). Authenticated when username is not empty. Empty text for
// no services. Pure; never fails.
std::string connectCommand(const std::vector<std::string>& services, const std::string& host, int64_t port,
                           const std::string& proxyProtocol, const std::string& username,
                           const std::string& password);

}  // namespace tavlune::sysproxy
