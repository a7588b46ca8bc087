#include "cli/proxy_url.h"

#include <charconv>

#include "frontendprotocol/proxy_protocols.h"
#include "platform/text/trim.h"
#include "platform/text/utf8.h"

namespace tavlune::cli {
namespace {

constexpr const char* kShape = "expected [PROTOCOL://][USER[:PASSWORD]@]HOST:PORT";

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

Expected<std::string, std::string> percentDecode(const std::string& text, const char* what) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out.push_back(text[i]);
      continue;
    }
    const int high = i + 2 < text.size() ? hexDigit(text[i + 1]) : -1;
    const int low = high >= 0 ? hexDigit(text[i + 2]) : -1;
    if (low < 0) return unexpected(std::string("the ") + what + " has a '%' not followed by two hex digits");
    out.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return out;
}

// A DNS name is at most 253 characters written out; addresses are shorter.
constexpr std::size_t kLongestHostName = 253;

}  // namespace

std::optional<std::string> hostProblem(const std::string& host) {
  if (host.empty()) return "is empty";
  if (!platform::text::isValidUtf8(host)) return "is not UTF-8 text";
  for (std::size_t at = 0; at < host.size();) {
    char32_t c = 0;
    at += platform::text::decodeUtf8(host, at, &c);
    if (platform::text::isWhitespaceOrNewline(c) || c < 0x20 || (c >= 0x7F && c <= 0x9F))
      return "has white space or a control character, which no host name has";
  }
  if (host.size() > kLongestHostName)
    return "is " + std::to_string(host.size()) + " bytes long; a host name has at most " +
           std::to_string(kLongestHostName);
  return std::nullopt;
}

std::string escaped(const std::string& text) {
  static const char* const kHex = "0123456789abcdef";
  auto hex = [](unsigned c) { return std::string("\\x") + kHex[(c >> 4) & 15] + kHex[c & 15]; };
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    char32_t c = 0;
    const std::size_t length = platform::text::decodeUtf8(text, at, &c);
    // A terminal acts on C1 controls and on bytes that are not UTF-8 as it does on C0 ones.
    if (length == 0) {
      out += hex(static_cast<unsigned char>(text[at++]));
      continue;
    }
    if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c == '\r') out += "\\r";
    else if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) out += hex(static_cast<unsigned>(c));
    else out += text.substr(at, length);
    at += length;
  }
  return out;
}

Expected<int64_t, std::string> parsePort(const std::string& text) {
  // Digits only: from_chars takes a "-", which a port never has.
  int64_t port = 0;
  const bool digits = !text.empty() && text.size() <= 5 && text.front() != '-';
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
  if (!digits || error != std::errc() || end != text.data() + text.size() || port < 1 || port > 65535) return unexpected(std::string("the port must be a whole number from 1 to 65535"));
  return port;
}

std::string bareHost(const std::string& host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']' && host.find(':') != std::string::npos)
    return host.substr(1, host.size() - 2);
  return host;
}

std::string displayUrl(const std::string& protocol, const std::string& host, int64_t port) {
  const bool bracket = host.find(':') != std::string::npos;
  return protocol + "://" + (bracket ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

Expected<ProxyUrl, std::string> parseProxyUrl(const std::string& url) {
  const size_t schemeEnd = url.find("://");
  ProxyUrl parsed;
  parsed.protocol = schemeEnd == std::string::npos ? frontendprotocol::kDefaultProxyProtocol
                                                    : frontendprotocol::allowedProxyProtocol(url.substr(0, schemeEnd));
  if (parsed.protocol.empty()) return unexpected(std::string("the protocol must be http, https, socks4 or socks5"));

  std::string rest = schemeEnd == std::string::npos ? url : url.substr(schemeEnd + 3);
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  if (rest.find_first_of("/?#") != std::string::npos)
    return unexpected(std::string("a proxy URL has no path, query or fragment"));

  // The last '@' ends the credentials, so an unencoded '@' in a password still works.
  const size_t at = rest.rfind('@');
  if (at != std::string::npos) {
    const std::string credentials = rest.substr(0, at);
    rest = rest.substr(at + 1);
    const size_t colon = credentials.find(':');
    auto username = percentDecode(credentials.substr(0, colon), "user name");
    if (!username) return unexpected(username.error());
    parsed.username = *username;
    if (colon != std::string::npos) {
      auto password = percentDecode(credentials.substr(colon + 1), "password");
      if (!password) return unexpected(password.error());
      parsed.password = *password;
    }
  }

  std::string portText;
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    if (close == std::string::npos) return unexpected(std::string("an IPv6 address needs its closing ']'"));
    parsed.host = rest.substr(1, close - 1);
    if (rest.compare(close + 1, 1, ":") != 0) return unexpected(std::string("the URL needs a port: ") + kShape);
    portText = rest.substr(close + 2);
  } else {
    const size_t colon = rest.rfind(':');
    if (colon == std::string::npos) return unexpected(std::string("the URL needs a port: ") + kShape);
    parsed.host = rest.substr(0, colon);
    if (parsed.host.find(':') != std::string::npos)
      return unexpected(std::string("write an IPv6 address in brackets, as [::1]"));
    portText = rest.substr(colon + 1);
  }
  if (parsed.host.empty()) return unexpected(std::string("the URL needs a host: ") + kShape);
  auto port = parsePort(portText);
  if (!port) return unexpected(port.error());
  parsed.port = *port;
  return parsed;
}

}  // namespace tavlune::cli
