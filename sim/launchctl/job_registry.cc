#include "sim/launchctl/job_registry.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace tavlune::sim {

std::string JobRegistry::defaultFolder() {
  const char* folder = std::getenv("TAVLUNE_SIM_LAUNCHD_DIR");
  return folder && *folder ? folder : "/var/db/tavlune-sim/launchd";
}

JobRegistry::Lock::~Lock() { close(fd_); }

platform::Result<std::unique_ptr<JobRegistry::Lock>> JobRegistry::lock() const {
  // The folder may be missing on first use; its parents are the host's.
  if (mkdir(folder_.c_str(), 0755) != 0 && errno != EEXIST)
    return unexpected(platform::Error::fromErrno("Could not create " + folder_));
  std::string path = folder_ + "/.lock";
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return unexpected(platform::Error::fromErrno("Could not open " + path));
  while (flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      int saved = errno;
      close(fd);
      return unexpected(platform::Error::fromErrno("Could not lock " + path, saved));
    }
  }
  return std::make_unique<Lock>(fd);
}

std::string JobRegistry::pathFor(const std::string& label) const { return folder_ + "/" + label + ".pid"; }

std::optional<pid_t> JobRegistry::loadedSupervisor(const std::string& label) const {
  std::ifstream file(pathFor(label));
  long pid = 0;
  if (!(file >> pid) || pid <= 1) return std::nullopt;
  if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return std::nullopt;
  return static_cast<pid_t>(pid);
}

platform::Result<void> JobRegistry::recordSupervisor(const std::string& label, pid_t pid) const {
  std::string path = pathFor(label), temporary = path + ".tmp";
  {
    std::ofstream file(temporary, std::ios::trunc);
    file << pid << "\n";
    if (!file.flush()) return unexpected(platform::Error::fromErrno("Could not write " + temporary));
  }
  if (rename(temporary.c_str(), path.c_str()) != 0)
    return unexpected(platform::Error::fromErrno("Could not write " + path));
  return {};
}

void JobRegistry::forget(const std::string& label) const { unlink(pathFor(label).c_str()); }

}  // namespace tavlune::sim
