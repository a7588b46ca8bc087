// Every networksetup invocation a command line may hold: the subcommands and
// the shape of their arguments, how the application writes an invocation and,
// beside it, how the helper reads one back. The helper runs nothing else.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "helperprotocol/shell_words.h"

namespace tavlune::helperprotocol::networksetup {

enum class Shape {
  onOff,    // the bare word "on" or "off"
  domains,  // one or more words
  server,   // host, port, then "off", or "on" with a user name and a password
  url,      // one word
};

struct Subcommand {
  std::string_view name;
  Shape shape;
};

inline constexpr Subcommand kSetWebProxyState{"-setwebproxystate", Shape::onOff};
inline constexpr Subcommand kSetSecureWebProxyState{"-setsecurewebproxystate", Shape::onOff};
inline constexpr Subcommand kSetSocksFirewallProxyState{"-setsocksfirewallproxystate", Shape::onOff};
inline constexpr Subcommand kSetAutoProxyState{"-setautoproxystate", Shape::onOff};
inline constexpr Subcommand kSetProxyAutoDiscovery{"-setproxyautodiscovery", Shape::onOff};
inline constexpr Subcommand kSetProxyBypassDomains{"-setproxybypassdomains", Shape::domains};
inline constexpr Subcommand kSetWebProxy{"-setwebproxy", Shape::server};
inline constexpr Subcommand kSetSecureWebProxy{"-setsecurewebproxy", Shape::server};
inline constexpr Subcommand kSetSocksFirewallProxy{"-setsocksfirewallproxy", Shape::server};
inline constexpr Subcommand kSetAutoProxyUrl{"-setautoproxyurl", Shape::url};

inline constexpr std::array<Subcommand, 10> kSubcommands{
    kSetWebProxyState,      kSetSecureWebProxyState, kSetSocksFirewallProxyState, kSetAutoProxyState,
    kSetProxyAutoDiscovery, kSetProxyBypassDomains,  kSetWebProxy,                kSetSecureWebProxy,
    kSetSocksFirewallProxy, kSetAutoProxyUrl,
};

// Writing. "<tool> <subcommand> <quoted service> <arguments>", the arguments
// as the subcommand's shape has them.
std::string invocation(const Subcommand& subcommand, std::string_view quotedService, std::string_view arguments);
// A server's arguments: the quoted host, the port in decimal, and the login.
std::string serverArguments(std::string_view host, int64_t port, std::string_view login);
// "on" with the quoted user name and password, or "off" without a user.
std::string loginArguments(const std::optional<std::string_view>& user, std::string_view password);

// Reading. The subcommand that a piece's words invoke: the tool's path, a
// subcommand of the table, a service, and arguments in that subcommand's
// shape; nullptr for anything else.
const Subcommand* invokedSubcommand(const std::vector<ShellWord>& words);

}  // namespace tavlune::helperprotocol::networksetup
