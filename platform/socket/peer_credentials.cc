#include "platform/socket/peer_credentials.h"

#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

namespace tavlune::platform {

std::optional<uint32_t> peerUserId(int fd) {
  ucred credentials{};
  credentials.uid = static_cast<uid_t>(-1);
  socklen_t length = sizeof credentials;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 || length != sizeof credentials)
    return std::nullopt;
  // All bits set is the kernel's "unknown", never a user.
  if (credentials.uid == static_cast<uid_t>(-1)) return std::nullopt;
  return static_cast<uint32_t>(credentials.uid);
}

}  // namespace tavlune::platform
