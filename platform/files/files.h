// File operations with the care a privileged program needs, each reporting
// the system's reason on failure. Descriptors are close-on-exec and symbolic
// links at the final component are never followed when writing or reading.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>

#include "platform/error.h"

namespace tavlune::platform::files {

// The directory and any missing parents, each with mode; fine if it exists as
// a directory.
platform::Result<void> makeDirectories(const std::string& path, mode_t mode);

// True when something (a dangling link included) is at path.
bool exists(const std::string& path);

// Reading stops one byte past limit: enough for a caller to refuse the file.
platform::Result<std::string> read(const std::string& path, std::size_t limit = std::string::npos - 1);
// As read, but a missing file is absent rather than an error.
platform::Result<std::optional<std::string>> readIfPresent(const std::string& path, std::size_t limit);

// Writes a temporary file beside path, flushes it, renames it over path and
// flushes the folder, so readers see the old bytes or the new, never part,
// and the change survives a crash.
// The temporary is uniquely named unless the caller, holding a lock that
// keeps other writers out, names it: then a writer killed midway leaves no
// stray file behind that the next one does not reuse.
platform::Result<void> writeAtomically(const std::string& path, const std::string& bytes, mode_t mode,
                                       const std::string& lockedTemporaryPath = "");

// A byte copy with the source's permission bits, written atomically.
platform::Result<void> copy(const std::string& from, const std::string& to);

platform::Result<void> remove(const std::string& path);

// Renames from over to; across file systems, a copy and a removal.
platform::Result<void> move(const std::string& from, const std::string& to);

platform::Result<void> setMode(const std::string& path, mode_t mode);

std::string parentDirectory(const std::string& path);

// The user's home folder, without a final slash ("" for "/"): $HOME, or the
// passwd entry's home when HOME is unset or empty, or "".
std::string homeDirectory();

// An exclusive lock on a lock file (created 0600 when missing), shared with
// other processes and threads through flock; held until the object goes.
class ExclusiveLock {
 public:
  static platform::Result<ExclusiveLock> acquire(const std::string& lockPath);
  ExclusiveLock(ExclusiveLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  ExclusiveLock& operator=(ExclusiveLock&&) = delete;
  ~ExclusiveLock();

 private:
  explicit ExclusiveLock(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace tavlune::platform::files
