#include "sim/launchctl/supervisor.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "sim/launchctl/job_environment.h"

extern char** environ;

namespace tavlune::sim {
namespace {

// launchd waits before starting a job that keeps exiting; so do we, briefly.
constexpr auto kRestartThrottle = std::chrono::milliseconds(500);
constexpr auto kStopGrace = std::chrono::seconds(5);

pid_t start(const LaunchJob& job, const sigset_t& defaults) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);

  std::vector<char*> argv;
  for (const auto& argument : job.programArguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  // Read at every start, so that a restart picks up a changed setting.
  std::vector<std::string> environment = jobEnvironment(environ);
  std::vector<char*> envp;
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return pid;
}

// Has the program exited? It is left unreaped, so that its pid, which is its
// group's id, cannot be taken by another process before the group is ended.
bool exited(pid_t child) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == child;
}

// Reaps the exited program, after killing what is left of its group.
void reap(const LaunchJob& job, pid_t child) {
  if (!job.abandonProcessGroup) killpg(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

[[noreturn]] void stop(const LaunchJob& job, pid_t child) {
  if (child > 0) {
    kill(child, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + kStopGrace;
    while (!exited(child)) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(child, SIGKILL);
        break;
      }
      usleep(20000);
    }
    reap(job, child);
  }
  _exit(0);
}

}  // namespace

void superviseJob(const LaunchJob& job) {
  sigset_t handled;
  sigemptyset(&handled);
  sigaddset(&handled, SIGTERM);
  sigaddset(&handled, SIGINT);
  sigaddset(&handled, SIGCHLD);
  sigprocmask(SIG_BLOCK, &handled, nullptr);
  int signals = signalfd(-1, &handled, SFD_CLOEXEC);
  if (signals < 0) _exit(1);

  pid_t child = job.runAtLoad || job.keepAlive ? start(job, handled) : -1;
  bool restartPending = child < 0 && job.keepAlive;
  for (;;) {
    pollfd waiting{signals, POLLIN, 0};
    int timeout = restartPending ? static_cast<int>(kRestartThrottle.count()) : -1;
    int ready = poll(&waiting, 1, timeout);
    if (ready < 0 && errno != EINTR) _exit(1);
    if (ready == 0 && restartPending) {
      child = start(job, handled);
      restartPending = child < 0;
      continue;
    }
    signalfd_siginfo info;
    if (read(signals, &info, sizeof info) != sizeof info) continue;
    if (info.ssi_signo == SIGTERM || info.ssi_signo == SIGINT) stop(job, child);
    // SIGCHLD: reap, and start again when the job asks to be kept alive.
    if (child > 0 && exited(child)) {
      reap(job, child);
      child = -1;
      restartPending = job.keepAlive;
    }
  }
}

}  // namespace tavlune::sim
