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

platform::Result<platform::files::ExclusiveLock> JobRegistry::lock() const {
  // The folder may be missing on first use; its parents are the host's.
  if (mkdir(folder_.c_str(), 0755) != 0 && errno != EEXIST)
    return unexpected(platform::Error::fromErrno("Could not create " + folder_));
  return platform::files::ExclusiveLock::acquire(folder_ + "/.lock");
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
