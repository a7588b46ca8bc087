// The codes of the channels' error replies. Which error gets which code is
// the manager's (manager/flutter_values.h); a call that does not decode gets
// channel::kMalformedMethodCallCode from the channel itself.
#pragma once

namespace tavlune::frontendprotocol {

inline constexpr const char* kConfigurationFailedCode = "PROXY_CONFIGURATION_FAILED";
inline constexpr const char* kValidationFailedCode = "PROXY_VALIDATION_FAILED";
inline constexpr const char* kExistingProxyCode = "EXISTING_PROXY_ACTIVE";
inline constexpr const char* kAuthorizationCancelledCode = "AUTHORIZATION_CANCELLED";

}  // namespace tavlune::frontendprotocol
