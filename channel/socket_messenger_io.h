// The channel socket's address, as both ends build it.
#pragma once

#include <sys/socket.h>
#include <sys/types.h>
#include <sys/un.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/error.h"

namespace tavlune::channel::internal {

// The address for path; fails with a message naming the limit when the path
// does not fit (sun_path holds 107 bytes and a NUL on Linux).
platform::Result<sockaddr_un> socketAddress(const std::string& path);


}  // namespace tavlune::channel::internal
