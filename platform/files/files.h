// File operations with the care a privileged program needs, each reporting
// the system's reason on failure. Descriptors are close-on-exec and symbolic
// links at the final component are never followed when writing or reading.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/error.h"
#include "platform/unique_fd.h"

namespace tavlune::platform::files {

// The directory and any missing parents, each with mode; fine if it exists as
// a directory.
platform::Result<void> makeDirectories(const std::string& path, mode_t mode);

// Creates folder and any missing parents; the folder itself ends up mode 0700.
// Fails, rather than use it, when the folder belongs to another user or is
// not a real directory.
platform::Result<void> makePrivateDirectory(const std::string& folder);

// Writes every byte to fd, retrying EINTR and short writes; the error says
// "Could not write WHAT".
platform::Result<void> writeAll(int fd, std::string_view bytes, const std::string& what);

// True when something (a dangling link included) is at path.
bool exists(const std::string& path);

// Reading stops one byte past limit: enough for a caller to refuse the file.
// Anything but a regular file is refused at once: opening a FIFO would wait
// for a writer that may never come.
platform::Result<std::string> read(const std::string& path, std::size_t limit = std::string::npos - 1);
// As read, but a missing file is absent rather than an error.
platform::Result<std::optional<std::string>> readIfPresent(const std::string& path, std::size_t limit);
// As readIfPresent, for name inside the folder open at the descriptor folder
// (or AT_FDCWD); shownAs names it in errors.
platform::Result<std::optional<std::string>> readRegularFileAt(int folder, const std::string& name,
                                                               const std::string& shownAs, std::size_t limit);

// Writes a temporary file beside path, flushes it, renames it over path and
// flushes the folder, so readers see the old bytes or the new, never part,
// and the change survives a crash.
// The temporary is uniquely named unless the caller, holding a lock that
// keeps other writers out, names it: then a writer killed midway leaves no
// stray file behind that the next one does not reuse.
platform::Result<void> writeAtomically(const std::string& path, const std::string& bytes, mode_t mode,
                                       const std::string& lockedTemporaryPath = "");

platform::Result<void> remove(const std::string& path);

platform::Result<void> setMode(const std::string& path, mode_t mode);

std::string parentDirectory(const std::string& path);

// The user's home folder, without a final slash ("" for "/"): $HOME, or the
// passwd entry's home when HOME is unset or empty, or "".
std::string homeDirectory();

// An exclusive lock on a lock file (created 0600 when missing, never through
// a symbolic link), shared with other processes and threads through flock;
// held until the object goes, or the process ends.
class ExclusiveLock {
 public:
  // Waits while another holds the lock.
  static platform::Result<ExclusiveLock> acquire(const std::string& lockPath);

  struct Refusal {
    platform::Error error;
    bool heldByAnother = false;
  };
  // Takes the lock only if nobody holds it.
  static Expected<ExclusiveLock, Refusal> tryAcquire(const std::string& lockPath);

  // The lock file, open for reading and writing, for a holder that notes
  // itself in it.
  int fd() const { return fd_.get(); }

 private:
  explicit ExclusiveLock(UniqueFd fd) : fd_(std::move(fd)) {}
  static Expected<ExclusiveLock, Refusal> lock(const std::string& lockPath, int operation);
  UniqueFd fd_;
};

}  // namespace tavlune::platform::files
