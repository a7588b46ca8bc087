// Where the stand-in launchd keeps its loaded jobs: one file per label holding
// the pid of the process that supervises the job, in a folder of the
// simulated host. A job is loaded while that process lives.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/error.h"
#include "platform/files/files.h"

namespace tavlune::sim {

class JobRegistry {
 public:
  // The folder comes from TAVLUNE_SIM_LAUNCHD_DIR, else the host's default.
  static std::string defaultFolder();

  explicit JobRegistry(std::string folder) : folder_(std::move(folder)) {}

  // An exclusive lock over the whole registry, held until the guard goes.
  platform::Result<platform::files::ExclusiveLock> lock() const;

  // The supervisor's pid when the job is loaded (its process is alive).
  std::optional<pid_t> loadedSupervisor(const std::string& label) const;
  platform::Result<void> recordSupervisor(const std::string& label, pid_t pid) const;
  void forget(const std::string& label) const;

 private:
  std::string pathFor(const std::string& label) const;
  std::string folder_;
};

}  // namespace tavlune::sim
