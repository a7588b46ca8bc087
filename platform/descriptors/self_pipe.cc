#include "platform/descriptors/self_pipe.h"

#include <unistd.h>

#include <cerrno>

#include "platform/descriptors/descriptors.h"

namespace tavlune::platform {
Result<SelfPipe> SelfPipe::open(Reading reading, const std::string& what) {
  int fds[2];
  if (makeCloseOnExecPipe(fds) != 0) return unexpected(Error::fromErrno(what));
  if (reading == Reading::nonBlocking) setNonBlocking(fds[0]);
  setNonBlocking(fds[1]);
  return SelfPipe(UniqueFd(fds[0]), UniqueFd(fds[1]));
}

SelfPipe::Wake SelfPipe::wake(char byte) const {
  for (;;) {
    if (::write(write_.get(), &byte, 1) == 1) return Wake::sent;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? Wake::full : Wake::failed;
  }
}

void SelfPipe::drain() const {
  char buffer[256];
  while (::read(read_.get(), buffer, sizeof buffer) > 0) {
  }
}

std::optional<char> SelfPipe::next() const {
  for (;;) {
    char byte;
    const ssize_t count = ::read(read_.get(), &byte, 1);
    if (count == 1) return byte;
    if (count < 0 && errno == EINTR) continue;
    return std::nullopt;
  }
}

void SelfPipe::wakeFromSignal(int writeFd, char byte) {
  const int saved = errno;
  (void)!::write(writeFd, &byte, 1);
  errno = saved;
}

}  // namespace tavlune::platform
