#include "platform/process/process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

extern char** environ;

namespace tavlune::platform {
namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { reset(); }
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&&) = delete;
  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

struct Pipe {
  Descriptor read, write;
};

Result<Pipe> makePipe() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return unexpected(Error::fromErrno("Could not create a pipe"));
  return Pipe{Descriptor(fds[0]), Descriptor(fds[1])};
}

std::vector<char*> pointers(const std::vector<std::string>& strings) {
  std::vector<char*> out;
  out.reserve(strings.size() + 1);
  for (const auto& s : strings) out.push_back(const_cast<char*>(s.c_str()));
  out.push_back(nullptr);
  return out;
}

// Reads both pipes until each reaches its end, keeping at most limit bytes of each.
void drain(int outFd, int errFd, std::vector<uint8_t>& out, std::vector<uint8_t>& err, std::size_t limit) {
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::vector<uint8_t>* sinks[2] = {&out, &err};
  int open = 2;
  uint8_t buffer[65536];
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
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

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out->write.get(), 1);
  posix_spawn_file_actions_adddup2(&actions, err->write.get(), 2);
  // Our descriptors are close-on-exec already; this also covers any a library
  // opened without the flag.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);

  std::vector<std::string> argv{path};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  auto argvPointers = pointers(argv);
  std::vector<char*> envPointers;
  if (options.environment) envPointers = pointers(*options.environment);

  pid_t pid;
  int spawned = posix_spawn(&pid, path.c_str(), &actions, nullptr, argvPointers.data(),
                            options.environment ? envPointers.data() : environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return unexpected(Error::fromErrno("Could not start " + path, spawned));

  // Our copies of the write ends must go, or the reads never see the end.
  out->write.reset();
  err->write.reset();
  ProcessResult result;
  drain(out->read.get(), err->read.get(), result.standardOutput, result.standardError, options.maxCapturedBytes);
  // Closed before waiting: should draining have stopped early, the child then
  // gets a broken pipe instead of blocking for ever on a full one.
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
