#include "platform/socket/unix_socket.h"

#include <fcntl.h>
#include <sys/time.h>

#include <cerrno>

#include "platform/descriptors/descriptors.h"

namespace tavlune::platform {
namespace {

#if defined(MSG_NOSIGNAL)
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;  // SO_NOSIGPIPE is set on each socket instead
#endif

// Close-on-exec where the call could not say so, and no SIGPIPE where the
// platform asks for it per socket.
UniqueFd prepared(int fd, [[maybe_unused]] bool closeOnExecSet) {
  if (fd < 0) return UniqueFd();
  if (!closeOnExecSet) ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
#if defined(SO_NOSIGPIPE)
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
  return UniqueFd(fd);
}

// recv, retried while a signal interrupts it; errno tells the failure.
ssize_t receiveRetrying(int fd, void* buffer, std::size_t size, int flags) {
  ssize_t count;
  do {
    count = ::recv(fd, buffer, size, flags);
  } while (count < 0 && errno == EINTR);
  return count;
}

}  // namespace

UniqueFd makeStreamSocket() {
#if defined(SOCK_CLOEXEC)
  return prepared(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0), true);
#else
  return prepared(::socket(AF_UNIX, SOCK_STREAM, 0), false);
#endif
}

Result<void> connectSocket(int fd, const sockaddr_un& address, socklen_t length) {
  int connected;
  do {
    connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length);
  } while (connected != 0 && errno == EINTR);
  if (connected != 0) return unexpected(Error::ofErrno());
  return {};
}

Result<UniqueFd> connectStreamSocket(const sockaddr_un& address, socklen_t length,
                                     std::optional<std::chrono::milliseconds> timeout) {
  UniqueFd fd = makeStreamSocket();
  if (!fd) return unexpected(Error::ofErrno());
  if (timeout) {
    // The send time-out bounds connect as well as every later send.
    timeval limit{static_cast<time_t>(timeout->count() / 1000), static_cast<suseconds_t>(timeout->count() % 1000 * 1000)};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  }
  if (auto connected = connectSocket(fd.get(), address, length); !connected) return unexpected(connected.error());
  return fd;
}

Result<void> sendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t sent = ::send(fd, bytes.data(), bytes.size(), kSendFlags);
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0) return unexpected(Error::fromErrno("send"));
    if (sent == 0) return unexpected(Error{"send: nothing written"});
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return {};
}

Result<std::size_t> receiveSome(int fd, void* buffer, std::size_t size) {
  const ssize_t count = receiveRetrying(fd, buffer, size, 0);
  if (count < 0) return unexpected(Error::ofErrno());
  return static_cast<std::size_t>(count);
}

Result<std::optional<std::size_t>> receiveReady(int fd, void* buffer, std::size_t size) {
  const ssize_t count = receiveRetrying(fd, buffer, size, MSG_DONTWAIT);
  if (count >= 0) return std::optional<std::size_t>(static_cast<std::size_t>(count));
  if (errno == EAGAIN || errno == EWOULDBLOCK) return std::optional<std::size_t>();
  return unexpected(Error::ofErrno());
}

Result<std::size_t> sendReady(int fd, std::string_view bytes) {
  for (;;) {
    ssize_t sent = ::send(fd, bytes.data(), bytes.size(), kSendFlags | MSG_DONTWAIT);
    if (sent >= 0) return static_cast<std::size_t>(sent);
    if (errno == EAGAIN || errno == EWOULDBLOCK) return std::size_t{0};
    if (errno != EINTR) return unexpected(Error::fromErrno("send"));
  }
}

Result<UniqueFd> acceptConnection(int listener, bool nonBlocking) {
  for (;;) {
#if defined(__linux__)
    UniqueFd fd = prepared(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0)), true);
#else
    UniqueFd fd = prepared(::accept(listener, nullptr, nullptr), false);
    if (fd && nonBlocking) setNonBlocking(fd.get());
#endif
    if (fd) return fd;
    if (errno != EINTR && errno != ECONNABORTED) return unexpected(Error::fromErrno("accept"));
  }
}

}  // namespace tavlune::platform
