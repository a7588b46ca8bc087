#include "manager/proxy_arguments.h"

#include "frontendprotocol/keys.h"
#include "frontendprotocol/proxy_protocols.h"
#include "manager/channel_coercion.h"
#include "validation/curl_arguments.h"

namespace tavlune::manager {
namespace {

using model::MacProxyError;
using namespace frontendprotocol;  // the channel's keys and protocols

// "[::1]" is how a URL writes an IPv6 address; networksetup, the live
// settings and the stored state hold the address itself.
std::string withoutBrackets(std::string host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']' && host.find(':') != std::string::npos)
    return host.substr(1, host.size() - 2);
  return host;
}

}  // namespace

const channel::EncodableValue* argument(const channel::EncodableMap& arguments, const char* key) {
  auto it = arguments.find(channel::EncodableValue(key));
  return it == arguments.end() ? nullptr : &it->second;
}

Expected<ProxyArguments, MacProxyError> proxyArguments(const channel::EncodableMap& arguments) {
  auto host = text(argument(arguments, kHostKey));
  if (!host) return unexpected(MacProxyError::invalidConfiguration());
  auto port = integer(argument(arguments, kPortKey));
  if (!port || *port < 1 || *port > 65535) return unexpected(MacProxyError::invalidConfiguration());
  std::string proxyProtocol =
      allowedProxyProtocol(text(argument(arguments, kProtocolKey)).value_or(kDefaultProxyProtocol));
  if (proxyProtocol.empty()) return unexpected(MacProxyError::unsupportedProtocol());
  auto username = text(argument(arguments, kUsernameKey)).value_or("");
  auto password = text(argument(arguments, kPasswordKey)).value_or("");
  // Cut or split on the way, they would prove another login than the one
  // typed, or none: a NUL cuts curl's text before its colon, and curl then
  // asks for a password on the user's terminal.
  if (!validation::credentialsCanTravel(username, password)) return unexpected(MacProxyError::invalidConfiguration());
  return ProxyArguments{withoutBrackets(*host), *port, proxyProtocol, username, password};
}

}  // namespace tavlune::manager
