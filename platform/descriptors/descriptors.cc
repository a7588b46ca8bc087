#include "platform/descriptors/descriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace tavlune::platform {
namespace {

[[maybe_unused]] int setCloseOnExec(int fd) {
  const int flags = ::fcntl(fd, F_GETFD);
  return flags < 0 ? -1 : ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}

}  // namespace

void setNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

int makeCloseOnExecPipe(int fds[2]) {
#if defined(__linux__)
  return ::pipe2(fds, O_CLOEXEC);
#else
  if (::pipe(fds) != 0) return -1;
  if (setCloseOnExec(fds[0]) != 0 || setCloseOnExec(fds[1]) != 0) {
    const int saved = errno;
    ::close(fds[0]);
    ::close(fds[1]);
    errno = saved;
    return -1;
  }
  return 0;
#endif
}

Result<void> waitForEvents(std::span<pollfd> descriptors, int timeoutMilliseconds) {
  if (::poll(descriptors.data(), static_cast<nfds_t>(descriptors.size()), timeoutMilliseconds) >= 0) return {};
  if (errno != EINTR) return unexpected(Error::fromErrno("poll"));
  for (pollfd& descriptor : descriptors) descriptor.revents = 0;
  return {};
}

int flushToStorage(int fd) {
#if defined(F_FULLFSYNC)
  if (::fcntl(fd, F_FULLFSYNC) == 0) return 0;
#endif
  return ::fsync(fd);
}

int keepOnlyNamedDescriptors([[maybe_unused]] posix_spawn_file_actions_t& actions,
                             [[maybe_unused]] posix_spawnattr_t& attributes, [[maybe_unused]] int firstUnnamed) {
#if defined(POSIX_SPAWN_CLOEXEC_DEFAULT)
  short flags = 0;
  if (const int failed = posix_spawnattr_getflags(&attributes, &flags)) return failed;
  return posix_spawnattr_setflags(&attributes, static_cast<short>(flags | POSIX_SPAWN_CLOEXEC_DEFAULT));
#else
  return posix_spawn_file_actions_addclosefrom_np(&actions, firstUnnamed);
#endif
}

}  // namespace tavlune::platform
