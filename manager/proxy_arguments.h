// The proxy named by a "connectProxy"-style argument map, read and checked as
// the connect's entry does, for the connect and for a proxy check alike.
#pragma once

#include <cstdint>
#include <string>

#include "channel/encodable_value.h"
#include "model/mac_proxy_error.h"
#include "platform/result.h"

namespace tavlune::manager {

struct ProxyArguments {
  std::string host;  // an IPv6 address without the brackets a URL writes around it
  int64_t port = 0;
  std::string proxyProtocol;  // lower case, one of the four
  std::string username;
  std::string password;
};

// invalidConfiguration for a missing host, a port outside 1 to 65535 or a
// login that could not reach the proxy as typed; unsupportedProtocol for a
// protocol other than http, https, socks4 and socks5 (absent: http).
Expected<ProxyArguments, model::MacProxyError> proxyArguments(const channel::EncodableMap& arguments);

const channel::EncodableValue* argument(const channel::EncodableMap& arguments, const char* key);

}  // namespace tavlune::manager
