// curl's argument lists for a probe and for the speed download, and the
// proxy URLs and credentials they carry. Pure functions: nothing runs here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavlune::validation {

inline constexpr const char* kUserAgent = "Tavlune-macOS/1.0";

// scheme://host:port for every scheme tried with the protocol, in order.
// The host goes in as given: the user typed it, and curl reads it.
std::vector<std::string> proxyUrls(const std::string& host, int64_t port, const std::string& proxyProtocol);

// "user:password" when there is a user name; absent otherwise, whatever the password.
std::optional<std::string> proxyCredentials(const std::string& username, const std::string& password);

std::vector<std::string> probeArguments(const std::string& proxyUrl, const std::optional<std::string>& credentials,
                                        const std::string& endpoint, int64_t timeoutSeconds);

std::vector<std::string> speedArguments(const std::string& proxyUrl, const std::optional<std::string>& credentials,
                                        const std::string& downloadUrl);

}  // namespace tavlune::validation
