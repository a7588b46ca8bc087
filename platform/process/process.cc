#include "platform/process/process.h"
#include "platform/descriptors/descriptors.h"
#include "platform/unique_fd.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <utility>

extern char** environ;

namespace tavlune::platform {
namespace {

using platform::UniqueFd;

struct Pipe {
  UniqueFd read, write;
};

Result<Pipe> makePipe() {
  int fds[2];
  if (makeCloseOnExecPipe(fds) != 0) return unexpected(Error::fromErrno("Could not create a pipe"));
  return Pipe{UniqueFd(fds[0]), UniqueFd(fds[1])};
}

std::vector<char*> pointers(const std::vector<std::string>& strings) {
  std::vector<char*> out;
  out.reserve(strings.size() + 1);
  for (const auto& s : strings) out.push_back(const_cast<char*>(s.c_str()));
  out.push_back(nullptr);
  return out;
}

// The child's standard input: a socket pair rather than a pipe, because a
// child that ends without reading must give our write EPIPE, not raise
// SIGPIPE in the whole application, and a socket can say so per call.
Result<Pipe> makeInputChannel() {
  int fds[2];
#if defined(SOCK_CLOEXEC)
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
    return unexpected(Error::fromErrno("Could not create a socket pair"));
#else
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
    return unexpected(Error::fromErrno("Could not create a socket pair"));
  for (int fd : fds) fcntl(fd, F_SETFD, FD_CLOEXEC);
#endif
#if defined(SO_NOSIGPIPE)
  int on = 1;
  setsockopt(fds[1], SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
  // Ours never blocks: the loop below waits for room instead.
  setNonBlocking(fds[1]);
  return Pipe{UniqueFd(fds[0]), UniqueFd(fds[1])};
}

#if defined(MSG_NOSIGNAL)
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;  // SO_NOSIGPIPE is set on the socket instead
#endif

// Feeds input to inFd (when it is open) and reads both pipes until each
// reaches its end, keeping at most limit bytes of each. The input ends when
// it is all written, or at the first error: a child that went away or shut
// its input took what it wanted. A cancel kills the child, whose pipes then
// end.
void exchange(UniqueFd& in, std::string_view input, int outFd, int errFd, std::vector<uint8_t>& out,
              std::vector<uint8_t>& err, std::size_t limit, pid_t child, const Cancellation* cancellation) {
  if (input.empty()) in.reset();
  const int cancelFd = cancellation ? cancellation->descriptor() : -1;
  pollfd fds[4] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}, {in.get(), POLLOUT, 0}, {cancelFd, POLLIN, 0}};
  // Without a descriptor to wake it, the loop looks at the cancel now and then.
  const int wake = cancellation && cancelFd < 0 ? 100 : -1;
  std::vector<uint8_t>* sinks[2] = {&out, &err};
  int open = 2;
  std::size_t written = 0;
  uint8_t buffer[65536];
  bool killed = false;
  while (open > 0 || in.get() >= 0) {
    if (poll(fds, 4, wake) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (!killed && cancellation && (fds[3].revents != 0 || (wake > 0 && cancellation->cancelled()))) {
      ::kill(child, SIGKILL);
      killed = true;
      fds[3].fd = -1;
    }
    if (fds[2].fd >= 0 && fds[2].revents != 0) {
      ssize_t n = send(fds[2].fd, input.data() + written, std::min<std::size_t>(input.size() - written, sizeof buffer),
                       kSendFlags);
      if (n > 0) written += std::size_t(n);
      bool retry = n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK);
      if (written == input.size() || (n <= 0 && !retry)) {
        in.reset();  // the child reads the end of its input here
        fds[2].fd = -1;
      }
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) {
        fds[i].fd = -1;  // poll skips negative descriptors
        --open;
        continue;
      }
      std::vector<uint8_t>& sink = *sinks[i];
      std::size_t keep = sink.size() < limit ? std::min<std::size_t>(limit - sink.size(), std::size_t(n)) : 0;
      sink.insert(sink.end(), buffer, buffer + keep);
    }
  }
}

}  // namespace

Result<ProcessResult> runProcess(const std::string& path, const std::vector<std::string>& arguments,
                                 const ProcessOptions& options) {
  auto out = makePipe();
  if (!out) return unexpected(out.error());
  auto err = makePipe();
  if (!err) return unexpected(err.error());
  auto in = options.standardInput ? makeInputChannel() : Result<Pipe>(Pipe{UniqueFd(), UniqueFd()});
  if (!in) return unexpected(in.error());

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (options.standardInput)
    posix_spawn_file_actions_adddup2(&actions, in->read.get(), 0);
  else
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out->write.get(), 1);
  posix_spawn_file_actions_adddup2(&actions, err->write.get(), 2);
  // A descriptor already numbered 3 would keep its close-on-exec flag through
  // a dup2 onto itself; a copy numbered above it loses it on the way.
  UniqueFd inherited;
  if (options.inheritedDescriptor) {
    inherited.reset(fcntl(*options.inheritedDescriptor, F_DUPFD_CLOEXEC, 4));
    if (!inherited) return unexpected(Error::fromErrno("Could not pass a descriptor to " + path));
    posix_spawn_file_actions_adddup2(&actions, inherited.get(), 3);
  }
  // Our descriptors are close-on-exec already; this also covers any a library
  // opened without the flag.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  keepOnlyNamedDescriptors(actions, attributes, options.inheritedDescriptor ? 4 : 3);

  std::vector<std::string> argv{path};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  auto argvPointers = pointers(argv);
  std::vector<char*> envPointers;
  if (options.environment) envPointers = pointers(*options.environment);

  pid_t pid;
  int spawned = posix_spawn(&pid, path.c_str(), &actions, &attributes, argvPointers.data(),
                            options.environment ? envPointers.data() : environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (spawned != 0) return unexpected(Error::fromErrno("Could not start " + path, spawned));

  // Our copies of the child's ends must go, or the reads never see the end
  // and the input's write never sees the child leave.
  out->write.reset();
  err->write.reset();
  in->read.reset();
  ProcessResult result;
  const std::string_view input = options.standardInput ? std::string_view(*options.standardInput) : std::string_view();
  exchange(in->write, input, out->read.get(), err->read.get(), result.standardOutput,
           result.standardError, options.maxCapturedBytes, pid, options.cancellation);
  // Closed before waiting: should the exchange have stopped early, the child
  // then gets a broken pipe instead of blocking for ever on a full one.
  in->write.reset();
  out->read.reset();
  err->read.reset();

  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return unexpected(Error::fromErrno("Could not wait for " + path));
  }
  if (WIFSIGNALED(status)) {
    result.endedBySignal = true;
    result.terminationStatus = WTERMSIG(status);
  } else {
    result.terminationStatus = WEXITSTATUS(status);
  }
  return result;
}

}  // namespace tavlune::platform
