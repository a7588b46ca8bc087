#include "validation/curl_arguments.h"

#include <string_view>

#include "frontendprotocol/proxy_protocols.h"

namespace tavlune::validation {
namespace {

// An IPv6 literal is the only host with a colon.
bool isIPv6Literal(const std::string& host) { return host.find(':') != std::string::npos; }

// The proxy URL's host is a bracketed IPv6 literal: "scheme://[".
bool proxiedOverIPv6(const std::string& proxyUrl) {
  const size_t scheme = proxyUrl.find("://");
  return scheme != std::string::npos && proxyUrl.compare(scheme + 3, 1, "[") == 0;
}

// "--ipv4" unless the proxy is an IPv6 address (see the header).
void appendAddressFamily(std::vector<std::string>& arguments, const std::string& proxyUrl) {
  if (!proxiedOverIPv6(proxyUrl)) arguments.push_back("--ipv4");
}

void appendCredentials(std::vector<std::string>& arguments, const std::optional<std::string>& credentials) {
  if (!credentials) return;
  arguments.push_back("--config");
  arguments.push_back("-");
}

}  // namespace

std::vector<std::string> proxyUrls(const std::string& host, int64_t port, const std::string& proxyProtocol) {
  std::vector<std::string> schemes;
  // curl's own scheme names, which differ from the protocols' for SOCKS.
  namespace fp = frontendprotocol;
  if (proxyProtocol == fp::kSocks4Protocol) schemes = {"socks4a"};
  else if (proxyProtocol == fp::kSocks5Protocol) schemes = {"socks5h", "socks5"};  // proxy-side resolution first
  else if (proxyProtocol == fp::kHttpsProtocol) schemes = {"https"};
  else schemes = {"http"};

  const bool bracket = isIPv6Literal(host) && !(host.front() == '[' && host.back() == ']');
  const std::string urlHost = bracket ? "[" + host + "]" : host;
  std::vector<std::string> urls;
  for (const auto& scheme : schemes) urls.push_back(scheme + "://" + urlHost + ":" + std::to_string(port));
  return urls;
}

std::optional<std::string> proxyCredentials(const std::string& username, const std::string& password) {
  if (username.empty()) return std::nullopt;
  return username + ":" + password;
}

bool credentialsCanTravel(const std::string& username, const std::string& password) {
  constexpr std::string_view kNeverSent("\0\r\n", 3);
  return username.find(':') == std::string::npos && username.find_first_of(kNeverSent) == std::string::npos &&
         password.find_first_of(kNeverSent) == std::string::npos;
}

std::optional<std::string> curlStandardInput(const std::optional<std::string>& credentials) {
  if (!credentials) return std::nullopt;
  // Quoted, curl takes every byte as it stands but for these escapes; a
  // backslash before anything else would be dropped, so each is doubled.
  std::string quoted;
  for (char c : *credentials) {
    switch (c) {
      case '\\': quoted += "\\\\"; break;
      case '"': quoted += "\\\""; break;
      case '\t': quoted += "\\t"; break;
      case '\n': quoted += "\\n"; break;
      case '\r': quoted += "\\r"; break;
      case '\v': quoted += "\\v"; break;
      default: quoted += c;
    }
  }
  return "proxy-user = \"" + quoted + "\"\n";
}

std::vector<std::string> probeArguments(const std::string& proxyUrl, const std::optional<std::string>& credentials,
                                        const std::string& endpoint, int64_t timeoutSeconds) {
  std::vector<std::string> arguments = {"--silent", "--show-error", "--fail", "--location"};
  appendAddressFamily(arguments, proxyUrl);
  arguments.insert(arguments.end(), {"--max-time", std::to_string(timeoutSeconds), "--proxy", proxyUrl,
                                     "--user-agent", kUserAgent});
  appendCredentials(arguments, credentials);
  arguments.push_back(endpoint);
  return arguments;
}

std::vector<std::string> speedArguments(const std::string& proxyUrl, const std::optional<std::string>& credentials,
                                        const std::string& downloadUrl) {
  // No --fail: an HTTP error page still took time to arrive, and its rate counts.
  std::vector<std::string> arguments = {"--silent", "--show-error", "--location"};
  appendAddressFamily(arguments, proxyUrl);
  arguments.insert(arguments.end(), {"--max-time", "10", "--output", "/dev/null", "--write-out", "%{speed_download}",
                                     "--proxy", proxyUrl});
  appendCredentials(arguments, credentials);
  arguments.push_back(downloadUrl);
  return arguments;
}

}  // namespace tavlune::validation
