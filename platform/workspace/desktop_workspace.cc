#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/workspace/workspace.h"

extern char** environ;

namespace tavlune::platform {
namespace {

bool hasDesktopSession() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

// Runs opener with the URL, every standard stream on /dev/null: true when it
// ends with status 0.
bool runOpener(const char* opener, const std::string& url) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd = 0; fd <= 2; ++fd)
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  std::vector<char*> argv = {const_cast<char*>(opener), const_cast<char*>(url.c_str()), nullptr};
  pid_t pid;
  int spawned = posix_spawn(&pid, opener, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;

  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool DesktopWorkspace::open(const std::string& url) {
  if (url.empty() || !hasDesktopSession()) return false;
  for (const auto& candidate : openers_)
    if (access(candidate.c_str(), X_OK) == 0) return runOpener(candidate.c_str(), url);
  return false;
}

bool OpenCommandWorkspace::open(const std::string& url) { return !url.empty() && runOpener(openPath_.c_str(), url); }

}  // namespace tavlune::platform
