#include "app/quit_signals.h"

#include <atomic>
#include <csignal>

namespace tavlune::app {
namespace {

constexpr char kStop = 0;
constexpr int kSignals[] = {SIGTERM, SIGINT};

std::atomic<int> signalWriteFd{-1};

void onSignal(int signalNumber) {
  const int fd = signalWriteFd.load();
  // A full pipe already holds a quit request; dropping this one loses nothing.
  if (fd >= 0) platform::SelfPipe::wakeFromSignal(fd, static_cast<char>(signalNumber));
}

}  // namespace

platform::Result<std::unique_ptr<QuitSignals>> QuitSignals::install(std::function<void()> onQuit) {
  auto pipe = platform::SelfPipe::open(platform::SelfPipe::Reading::blocking, "Could not create a pipe");
  if (!pipe) return unexpected(pipe.error());
  signalWriteFd.store(pipe->writeFd());
  // A handler, not a blocked mask: children would inherit a mask, not a handler.
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signalNumber : kSignals) sigaction(signalNumber, &action, nullptr);
  return std::unique_ptr<QuitSignals>(new QuitSignals(std::move(*pipe), std::move(onQuit)));
}

QuitSignals::QuitSignals(platform::SelfPipe pipe, std::function<void()> onQuit)
    : pipe_(std::move(pipe)), onQuit_(std::move(onQuit)) {
  thread_ = std::thread([this] { watch(); });
}

QuitSignals::~QuitSignals() {
  // The handler stays, doing nothing from now on: a late SIGTERM must not turn
  // a clean exit into death by signal, and unlike SIG_IGN a handler is not
  // passed on to children. The write end stays open for the same reason: a
  // handler already running may still write to it.
  signalWriteFd.store(-1);
  while (pipe_.wake(kStop) == platform::SelfPipe::Wake::full) {
  }  // the watcher keeps draining
  thread_.join();
  pipe_.keepWriteEndOpen();
}

void QuitSignals::watch() {
  for (;;) {
    const auto byte = pipe_.next();
    if (!byte || *byte == kStop) return;
    onQuit_();
  }
}

}  // namespace tavlune::app
