#include "channel/socket_messenger_io.h"

#include "platform/socket/peer_credentials.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tavlune::channel::internal {

using platform::Error;

platform::Result<sockaddr_un> SocketAddress(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path)
    return unexpected(Error{"The channel socket path " + path + " is " + std::to_string(path.size()) +
                            " bytes long; a Unix socket path must be shorter than " +
                            std::to_string(sizeof address.sun_path) + " bytes (use a shorter HOME)"});
  if (path.find('\0') != std::string::npos) return unexpected(Error{"The channel socket path holds a NUL byte"});
  std::memcpy(address.sun_path, path.data(), path.size());
  return address;
}

int MakeStreamSocket() {
#if defined(SOCK_CLOEXEC)
  return ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
#else
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd >= 0) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  return fd;
#endif
}

std::optional<uid_t> PeerUserId(int fd) {
  auto uid = platform::peerUserId(fd);
  if (!uid) return std::nullopt;
  return static_cast<uid_t>(*uid);
}

platform::Result<void> WriteAll(int fd, const uint8_t* bytes, size_t size) {
#if defined(MSG_NOSIGNAL)
  constexpr int flags = MSG_NOSIGNAL;
#else
  constexpr int flags = 0;
#endif
  while (size > 0) {
    ssize_t sent = ::send(fd, bytes, size, flags);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return unexpected(Error::fromErrno("Could not write to the channel socket"));
    }
    bytes += sent;
    size -= static_cast<size_t>(sent);
  }
  return {};
}

}  // namespace tavlune::channel::internal
