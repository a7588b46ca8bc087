// curl's argument lists for a probe and for the speed download, and the
// proxy URLs and credentials they carry. Pure functions: nothing runs here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavlune::validation {

inline constexpr const char* kUserAgent = "Tavlune-macOS/1.0";

// scheme://host:port for every scheme tried with the protocol, in order. The
// host goes in as given, except that an IPv6 address is put in the brackets
// a URL needs around it (curl refuses it without them).
std::vector<std::string> proxyUrls(const std::string& host, int64_t port, const std::string& proxyProtocol);

// "user:password" when there is a user name; absent otherwise, whatever the password.
std::optional<std::string> proxyCredentials(const std::string& username, const std::string& password);

// Whether these can reach the proxy as typed. curl's proxy-user splits at the
// first colon, so a colon in the user name would send another user (HTTP
// Basic forbids one there anyway); NUL cuts every text a program is given;
// CR and LF, which no typed login holds, are refused rather than trusted to
// every line-based text on the way (curl's configuration, the helper's line).
bool credentialsCanTravel(const std::string& username, const std::string& password);

// What curl reads on its standard input with the argument lists below: with
// credentials, a configuration holding them, for the lists carry "--config -"
// where the credentials belong (argument lists are public to every local
// user, a descriptor is not); absent without. curl reads the config as if it
// stood on the command line there, so options keep their order and the last
// one still wins; there is no -q, so the user's .curlrc applies as before.
std::optional<std::string> curlStandardInput(const std::optional<std::string>& credentials);

// Both lists carry "--ipv4": names curl resolves itself resolve to IPv4
// addresses only. That keeps the services' view of the exit address IPv4; it
// would also forbid curl to reach a proxy given as an IPv6 address, which
// needs no resolving, so for such a proxy URL the option is left out (the
// services' names are then resolved by the proxy for every scheme but plain
// "socks5", where curl resolves them in either family).
std::vector<std::string> probeArguments(const std::string& proxyUrl, const std::optional<std::string>& credentials,
                                        const std::string& endpoint, int64_t timeoutSeconds);

std::vector<std::string> speedArguments(const std::string& proxyUrl, const std::optional<std::string>& credentials,
                                        const std::string& downloadUrl);

}  // namespace tavlune::validation
