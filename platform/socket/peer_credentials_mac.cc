#include "platform/socket/peer_credentials.h"

#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

namespace tavlune::platform {

// The kernel records the peer's effective ids when it connects, as Linux's
// SO_PEERCRED does; a later setuid of the peer does not change them.
std::optional<uint32_t> peerUserId(int fd) {
  uid_t uid = static_cast<uid_t>(-1);
  gid_t gid = static_cast<gid_t>(-1);
  // All bits set is never a user: the call failed without saying so.
  if (getpeereid(fd, &uid, &gid) != 0 || uid == static_cast<uid_t>(-1)) return std::nullopt;
  return static_cast<uint32_t>(uid);
}

}  // namespace tavlune::platform
