// Who is at the other end of a connected Unix-domain socket.
#pragma once

#include <cstdint>
#include <optional>

namespace tavlune::platform {

// The peer's effective user id as the kernel recorded it, or absent when the
// kernel cannot say. Callers refuse the peer then; there is no fallback.
std::optional<uint32_t> peerUserId(int fd);

}  // namespace tavlune::platform
