// Socket details shared by both ends of the channel socket.
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
platform::Result<sockaddr_un> SocketAddress(const std::string& path);

// A close-on-exec stream socket of the Unix domain.
int MakeStreamSocket();

// The peer's effective user id as the kernel recorded it; absent when the
// kernel cannot say, which callers must take as a refusal.
std::optional<uid_t> PeerUserId(int fd);

// Writes all of bytes, retrying EINTR and short writes; never raises SIGPIPE.
platform::Result<void> WriteAll(int fd, const uint8_t* bytes, size_t size);

}  // namespace tavlune::channel::internal
