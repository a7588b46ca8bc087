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
// connect: all switched off, then web, secure web, SOCKS, bypass list,
// automatic discovery and configuration URL put back. Passwords are never
// restored. ":" without a snapshot; empty text for a snapshot without
// services.
std::string disconnectCommand(const std::optional<model::MacProxySnapshot>& snapshot);

}  // namespace tavlune::sysproxy
