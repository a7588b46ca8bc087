// Command lines that take back what the connect command line did.
#pragma once

#include <string>
#include <vector>

#include "platform/defaults/user_defaults.h"

namespace tavlune {

// Every proxy kind switched off for each named service, in order; nothing
// restored. Empty text for no services.
std::string disableProxyCommand(const std::vector<std::string>& services);

// The settings of every service in the stored snapshot as they were before
// the connect: all switched off, then web, secure web, SOCKS, bypass list,
// automatic discovery and configuration URL put back. Passwords are never
// restored. ":" when no snapshot is stored; empty text for a snapshot
// without services. Reads the snapshot, never changes it.
std::string disconnectCommand(platform::UserDefaults& defaults);

}  // namespace tavlune
