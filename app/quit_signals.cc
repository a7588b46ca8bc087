#include "app/quit_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

#include "platform/descriptors/descriptors.h"

namespace tavlune::app {
namespace {

constexpr char kStop = 0;
constexpr int kSignals[] = {SIGTERM, SIGINT};

std::atomic<int> signalWriteFd{-1};

void onSignal(int signalNumber) {
  const int saved = errno;
  const char byte = static_cast<char>(signalNumber);
  const int fd = signalWriteFd.load();
  // A full pipe already holds a quit request; dropping this one loses nothing.
  if (fd >= 0) (void)!::write(fd, &byte, 1);
  errno = saved;
}

}  // namespace

platform::Result<std::unique_ptr<QuitSignals>> QuitSignals::install(std::function<void()> onQuit) {
  int fds[2];
  if (platform::makeCloseOnExecPipe(fds) != 0) return unexpected(platform::Error::fromErrno("Could not create a pipe"));
  ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
  signalWriteFd.store(fds[1]);
  // A handler, not a blocked mask: children would inherit a mask, not a handler.
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signalNumber : kSignals) sigaction(signalNumber, &action, nullptr);
  return std::unique_ptr<QuitSignals>(new QuitSignals(fds[0], std::move(onQuit)));
}

QuitSignals::QuitSignals(int readFd, std::function<void()> onQuit) : readFd_(readFd), onQuit_(std::move(onQuit)) {
  thread_ = std::thread([this] { watch(); });
}

QuitSignals::~QuitSignals() {
  // The handler stays, doing nothing from now on: a late SIGTERM must not turn
  // a clean exit into death by signal, and unlike SIG_IGN a handler is not
  // passed on to children. The write end stays open for the same reason: a
  // handler already running may still write to it.
  const int writeFd = signalWriteFd.exchange(-1);
  const char stop = kStop;
  ssize_t written;
  do {
    written = ::write(writeFd, &stop, 1);
  } while (written < 0 && (errno == EINTR || errno == EAGAIN));  // the watcher keeps draining
  thread_.join();
  ::close(readFd_);
}

void QuitSignals::watch() {
  for (;;) {
    char byte;
    ssize_t count = ::read(readFd_, &byte, 1);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0 || byte == kStop) return;
    onQuit_();
  }
}

}  // namespace tavlune::app
