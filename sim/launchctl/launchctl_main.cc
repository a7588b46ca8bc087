// launchctl for the simulated host: loads and unloads system-domain jobs.
//   launchctl bootstrap system PATH
//   launchctl bootout system/LABEL
//   launchctl print system/LABEL
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "sim/launchctl/job_registry.h"
#include "sim/launchctl/supervisor.h"

namespace {

using tavlune::sim::JobRegistry;
using tavlune::sim::LaunchJob;

constexpr auto kBootoutWait = std::chrono::seconds(10);

int usage() {
  std::fputs("usage: launchctl bootstrap system PATH\n"
             "       launchctl bootout system/LABEL\n"
             "       launchctl print system/LABEL\n",
             stderr);
  return 64;
}

int bootstrapFailed(const std::string& detail) {
  std::fprintf(stderr, "Bootstrap failed: 5: Input/output error\n");
  if (!detail.empty()) std::fprintf(stderr, "%s\n", detail.c_str());
  return 5;
}

// A process that has exited but not been reaped yet counts as gone.
bool alive(pid_t pid) {
  if (kill(pid, 0) != 0) return false;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string pidText, name, state;
  stat >> pidText >> name >> state;
  return state != "Z" && state != "X";
}

int bootstrap(const JobRegistry& registry, const std::string& path) {
  auto job = tavlune::sim::readLaunchJob(path);
  if (!job) return bootstrapFailed(job.error().description);
  auto lock = registry.lock();
  if (!lock) return bootstrapFailed(lock.error().description);
  if (registry.loadedSupervisor(job->label)) return bootstrapFailed("");

  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) return bootstrapFailed("Could not create a pipe.");
  pid_t first = fork();
  if (first < 0) return bootstrapFailed("Could not start the job.");
  if (first == 0) {
    // Detach twice so the supervisor outlives us and is nobody's child here.
    setsid();
    if (fork() != 0) _exit(0);
    close(ready[0]);
    bool recorded = registry.recordSupervisor(job->label, getpid()).has_value();
    if (write(ready[1], recorded ? "1" : "0", 1) != 1 || !recorded) _exit(1);
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    // Drops the registry lock and the pipe: the lock must end with this command.
    closefrom(3);
    tavlune::sim::superviseJob(*job);
  }
  close(ready[1]);
  waitpid(first, nullptr, 0);
  char answer = '0';
  ssize_t n;
  while ((n = read(ready[0], &answer, 1)) < 0 && errno == EINTR) {
  }
  close(ready[0]);
  return n == 1 && answer == '1' ? 0 : bootstrapFailed("The job could not be started.");
}

std::optional<std::string> systemLabel(const std::string& target) {
  const std::string prefix = "system/";
  if (target.rfind(prefix, 0) != 0) return std::nullopt;
  std::string label = target.substr(prefix.size());
  if (!tavlune::sim::isValidLabel(label)) return std::nullopt;
  return label;
}

int bootout(const JobRegistry& registry, const std::string& label) {
  auto lock = registry.lock();
  if (!lock) {
    std::fprintf(stderr, "Boot-out failed: 5: Input/output error\n");
    return 5;
  }
  auto supervisor = registry.loadedSupervisor(label);
  if (!supervisor) {
    std::fprintf(stderr, "Boot-out failed: 3: No such process\n");
    return 3;
  }
  kill(*supervisor, SIGTERM);
  auto deadline = std::chrono::steady_clock::now() + kBootoutWait;
  while (alive(*supervisor)) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(*supervisor, SIGKILL);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  registry.forget(label);
  return 0;
}

int print(const JobRegistry& registry, const std::string& label) {
  auto supervisor = registry.loadedSupervisor(label);
  if (!supervisor) {
    std::fprintf(stderr, "Could not find service \"%s\" in domain for system\n", label.c_str());
    return 113;
  }
  std::printf("system/%s = {\n\tstate = loaded\n\tsupervisor = %d\n}\n", label.c_str(), *supervisor);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  std::string verb = argv[1];
  JobRegistry registry(JobRegistry::defaultFolder());
  if (verb == "bootstrap") {
    if (argc != 4) return usage();
    if (std::string(argv[2]) != "system") {
      std::fprintf(stderr, "Unrecognized target specifier: %s\n", argv[2]);
      return 64;
    }
    return bootstrap(registry, argv[3]);
  }
  if (verb == "bootout" || verb == "print") {
    if (argc != 3) return usage();
    auto label = systemLabel(argv[2]);
    if (!label) {
      std::fprintf(stderr, "Unrecognized target specifier: %s\n", argv[2]);
      return 64;
    }
    return verb == "bootout" ? bootout(registry, *label) : print(registry, *label);
  }
  return usage();
}
