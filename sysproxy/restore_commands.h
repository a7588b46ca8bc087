// Command lines that take back what the connect command line did.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/records.h"

namespace tavlune::sysproxy {

// Every proxy kind switched off for each named service, in order; nothing
// restored. Empty text for no services.
std::string disableProxyCommand(const std::vector<std::string>& services);

// The settings of every service in the snapshot as they were before the
// connect: all switched off, then web, secure web and SOCKS put back whether
// they were on or off, then bypass list, automatic discovery and
// configuration URL. live holds the services' settings now (what the
// connect wrote): a kind the snapshot has no server for loses the user name
// found there. Passwords are never restored. ":" without a snapshot; empty
// text for a snapshot without services.
std::string disconnectCommand(const std::optional<model::MacProxySnapshot>& snapshot,
                              const std::vector<model::MacNetworkServiceSnapshot>& live);

// The same invocations as lines the helper accepts by length, to be sent in
// order: a long bypass list on many services can make the one line longer
// than the helper takes, and a refused take-back would never end. Nothing
// without a snapshot or without services.
std::vector<std::string> disconnectCommandLines(const std::optional<model::MacProxySnapshot>& snapshot,
                                                const std::vector<model::MacNetworkServiceSnapshot>& live);

}  // namespace tavlune::sysproxy
