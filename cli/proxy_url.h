// The proxy as a URL: PROTOCOL://[USER[:PASSWORD]@]HOST:PORT
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/result.h"

namespace tavlune::cli {

struct ProxyUrl {
  std::string protocol;  // lower case: http, https, socks4 or socks5
  std::string host;      // an IPv6 address without its brackets
  int64_t port = 0;
  std::string username;  // percent-decoded
  std::string password;  // percent-decoded
};

// The reasons never repeat the URL: it may hold a password. Without
// "PROTOCOL://" the proxy is an HTTP proxy, as curl's -x reads it.
Expected<ProxyUrl, std::string> parseProxyUrl(const std::string& url);

// An IPv6 address without the brackets a URL needs around it; any other
// host as it is.
std::string bareHost(const std::string& host);

// PROTOCOL://HOST:PORT, without credentials; for messages.
std::string displayUrl(const std::string& protocol, const std::string& host, int64_t port);

// Why host cannot name a proxy (empty; white space, a line break or a control
// character anywhere; not UTF-8; longer than the 253 characters of the
// longest host name); absent when it can.
std::optional<std::string> hostProblem(const std::string& host);

// The text with control characters and bytes that are not UTF-8 written as
// escapes (\n, \x01, \x9b), for messages on a terminal.
std::string escaped(const std::string& text);

// A port from decimal text, 1 to 65535.
Expected<int64_t, std::string> parsePort(const std::string& text);

}  // namespace tavlune::cli
