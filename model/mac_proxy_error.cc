#include "model/mac_proxy_error.h"

#include <algorithm>
#include <cctype>

namespace tavlune::model {
namespace {

constexpr const char* kGatewayClosedMessage =
    "The residential gateway closed the connection while it was preparing. Please try again in a moment.";
// Lower case already: they are searched for in a lower-cased copy.
constexpr const char* kGatewayClosedMarkers[] = {"curl: (97)", "connection to proxy closed",
                                                 "proxy connection aborted"};

std::string validationMessage(const std::string& payload) {
  std::string lower = payload;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const char* marker : kGatewayClosedMarkers)
    if (lower.find(marker) != std::string::npos) return kGatewayClosedMessage;
  if (!payload.empty()) return payload;
  return "The selected proxy could not establish a working connection.";
}

}  // namespace

std::string MacProxyError::errorDescription() const {
  switch (kind_) {
    case Kind::commandFailed:
      return payload_.empty() ? "macOS could not update the system proxy settings." : payload_;
    case Kind::validationFailed:
      return validationMessage(payload_);
    case Kind::invalidConfiguration:
      return "The proxy configuration is incomplete.";
    case Kind::unsupportedProtocol:
      return "This proxy protocol is not supported on macOS.";
    case Kind::noNetworkService:
      return "No enabled Wi-Fi or Ethernet service was found.";
    case Kind::existingProxy:
      return "A different macOS system proxy is already enabled. Disable it before connecting with Tavlune.";
    case Kind::authorizationCancelled:
      return "Administrator approval is required to change macOS proxy settings.";
  }
  return {};
}

std::string localizedDescription(const AnyError& error) {
  if (const auto* own = std::get_if<MacProxyError>(&error)) return own->errorDescription();
  return std::get<platform::Error>(error).description;
}

}  // namespace tavlune::model
