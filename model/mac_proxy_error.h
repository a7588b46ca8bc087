// The errors of the proxy operations and the messages the user sees.
#pragma once

#include <string>
#include <variant>

#include "platform/error.h"
#include "platform/result.h"

namespace tavlune::model {

class MacProxyError {
 public:
  enum class Kind {
    commandFailed,
    validationFailed,
    invalidConfiguration,
    unsupportedProtocol,
    noNetworkService,
    existingProxy,
    authorizationCancelled,
  };

  static MacProxyError commandFailed(std::string message) { return {Kind::commandFailed, std::move(message)}; }
  static MacProxyError validationFailed(std::string message) { return {Kind::validationFailed, std::move(message)}; }
  static MacProxyError invalidConfiguration() { return {Kind::invalidConfiguration, {}}; }
  static MacProxyError unsupportedProtocol() { return {Kind::unsupportedProtocol, {}}; }
  static MacProxyError noNetworkService() { return {Kind::noNetworkService, {}}; }
  static MacProxyError existingProxy() { return {Kind::existingProxy, {}}; }
  static MacProxyError authorizationCancelled() { return {Kind::authorizationCancelled, {}}; }

  Kind kind() const { return kind_; }
  // The message given with commandFailed or validationFailed; empty otherwise.
  const std::string& payload() const { return payload_; }
  // The message shown to the user.
  std::string errorDescription() const;

  bool operator==(const MacProxyError&) const = default;

 private:
  MacProxyError(Kind kind, std::string payload) : kind_(kind), payload_(std::move(payload)) {}

  Kind kind_;
  std::string payload_;
};

// Any error an operation of the manager can end with: its own, or one the
// platform raised and the operation let through.
using AnyError = std::variant<MacProxyError, platform::Error>;

template <typename T>
using ManagerResult = Expected<T, AnyError>;

// The error's text as the user sees it.
std::string localizedDescription(const AnyError& error);

// The validationFailed message of a proxy check (a connect's, or one on its
// own) that was cancelled before it ended; front ends tell it by this text.
inline constexpr const char* kProofCancelledMessage = "The proxy check was cancelled.";

}  // namespace tavlune::model
