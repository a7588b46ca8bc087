// The pieces shared by the connect and restore command lines: the tool's
// invocations, the switch-off block and the separator.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "helperprotocol/protocol.h"

namespace tavlune::sysproxy::networksetup {

inline constexpr std::string_view setWebProxyState = "/usr/sbin/networksetup -setwebproxystate ";
inline constexpr std::string_view setSecureWebProxyState = "/usr/sbin/networksetup -setsecurewebproxystate ";
inline constexpr std::string_view setSocksFirewallProxyState = "/usr/sbin/networksetup -setsocksfirewallproxystate ";
inline constexpr std::string_view setAutoProxyState = "/usr/sbin/networksetup -setautoproxystate ";
inline constexpr std::string_view setProxyAutoDiscovery = "/usr/sbin/networksetup -setproxyautodiscovery ";
inline constexpr std::string_view setWebProxy = "/usr/sbin/networksetup -setwebproxy ";
inline constexpr std::string_view setSecureWebProxy = "/usr/sbin/networksetup -setsecurewebproxy ";
inline constexpr std::string_view setSocksFirewallProxy = "/usr/sbin/networksetup -setsocksfirewallproxy ";
inline constexpr std::string_view setProxyBypassDomains = "/usr/sbin/networksetup -setproxybypassdomains ";
inline constexpr std::string_view setAutoProxyUrl = "/usr/sbin/networksetup -setautoproxyurl ";

inline constexpr std::string_view separator = " && ";

// The helper runs nothing else: every invocation is its tool's.
static_assert(setWebProxyState.starts_with(helperprotocol::kToolPath) &&
              setSecureWebProxyState.starts_with(helperprotocol::kToolPath) &&
              setSocksFirewallProxyState.starts_with(helperprotocol::kToolPath) &&
              setAutoProxyState.starts_with(helperprotocol::kToolPath) &&
              setProxyAutoDiscovery.starts_with(helperprotocol::kToolPath) &&
              setWebProxy.starts_with(helperprotocol::kToolPath) &&
              setSecureWebProxy.starts_with(helperprotocol::kToolPath) &&
              setSocksFirewallProxy.starts_with(helperprotocol::kToolPath) &&
              setProxyBypassDomains.starts_with(helperprotocol::kToolPath) &&
              setAutoProxyUrl.starts_with(helperprotocol::kToolPath));

// The five commands that switch every kind of proxy of one service off.
void appendSwitchOffBlock(std::vector<std::string>& commands, const std::string& quotedService);

// "<invocation><quoted service> <quoted host> <port> <authentication>".
std::string proxyCommand(std::string_view invocation, const std::string& quotedService, std::string_view host,
                         int64_t port, const std::string& authentication);

std::string joined(const std::vector<std::string>& commands);

// The same commands joined into as few lines as keep each under
// maxCharacters bytes (never fewer than the characters the helper counts),
// cut only between commands; a command as long as that stands alone. Run
// one after the other, stopping at the first that fails, they do what the
// one joined line does.
std::vector<std::string> joinedLines(const std::vector<std::string>& commands, std::size_t maxCharacters);

}  // namespace tavlune::sysproxy::networksetup
