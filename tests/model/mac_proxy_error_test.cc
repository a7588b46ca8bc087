#include "model/mac_proxy_error.h"
#include "manager/flutter_values.h"

#include <gtest/gtest.h>

namespace tavlune {
namespace {
using namespace tavlune::model;
using namespace tavlune::manager;

constexpr const char* kGateway =
    "The residential gateway closed the connection while it was preparing. Please try again in a moment.";

TEST(MacProxyError, CodesAndMessages) {
  struct Case {
    AnyError error;
    const char* code;
    std::string message;
  };
  const Case cases[] = {
      {MacProxyError::commandFailed("helper said no"), "PROXY_CONFIGURATION_FAILED", "helper said no"},
      {MacProxyError::commandFailed(""), "PROXY_CONFIGURATION_FAILED",
       "macOS could not update the system proxy settings."},
      {MacProxyError::commandFailed("   "), "PROXY_CONFIGURATION_FAILED", "   "},
      {MacProxyError::validationFailed("curl: (7) Failed to connect"), "PROXY_VALIDATION_FAILED",
       "curl: (7) Failed to connect"},
      {MacProxyError::validationFailed("Some Mixed Case Text"), "PROXY_VALIDATION_FAILED", "Some Mixed Case Text"},
      {MacProxyError::validationFailed("before CURL: (97) after"), "PROXY_VALIDATION_FAILED", kGateway},
      {MacProxyError::validationFailed("Connection to proxy closed"), "PROXY_VALIDATION_FAILED", kGateway},
      {MacProxyError::validationFailed("x PROXY CONNECTION ABORTED"), "PROXY_VALIDATION_FAILED", kGateway},
      {MacProxyError::validationFailed("curl: (9) other"), "PROXY_VALIDATION_FAILED", "curl: (9) other"},
      {MacProxyError::validationFailed(""), "PROXY_VALIDATION_FAILED",
       "The selected proxy could not establish a working connection."},
      {MacProxyError::validationFailed("   "), "PROXY_VALIDATION_FAILED", "   "},
      {MacProxyError::invalidConfiguration(), "PROXY_CONFIGURATION_FAILED", "The proxy configuration is incomplete."},
      {MacProxyError::unsupportedProtocol(), "PROXY_CONFIGURATION_FAILED",
       "This proxy protocol is not supported on macOS."},
      {MacProxyError::noNetworkService(), "PROXY_CONFIGURATION_FAILED",
       "No enabled Wi-Fi or Ethernet service was found."},
      {MacProxyError::existingProxy(), "EXISTING_PROXY_ACTIVE",
       "A different macOS system proxy is already enabled. Disable it before connecting with Tavlune."},
      {MacProxyError::authorizationCancelled(), "AUTHORIZATION_CANCELLED",
       "Administrator approval is required to change macOS proxy settings."},
      {platform::Error{"The data is not valid JSON: syntax error"}, "PROXY_CONFIGURATION_FAILED",
       "The data is not valid JSON: syntax error"},
  };
  for (const auto& c : cases) {
    auto flutter = flutterError(c.error);
    EXPECT_EQ(flutter.code, c.code) << c.message;
    EXPECT_EQ(flutter.message, c.message);
    EXPECT_EQ(localizedDescription(c.error), c.message);
    EXPECT_FALSE(flutter.details.has_value());
  }
}

}  // namespace
}  // namespace tavlune
