#include "platform/files/files.h"
#include "platform/descriptors/descriptors.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <vector>

namespace tavlune::platform::files {
namespace {

using platform::Error;
using platform::Result;

std::string temporaryPathFor(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

}  // namespace

Result<void> makePrivateDirectory(const std::string& folder) {
  // Parents that are symbolic links (a moved Library, say) are followed; only
  // the folder itself must be a real directory, which lstat checks below.
  if (auto made = makeDirectories(parentDirectory(folder), 0755); !made) return made;
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    return unexpected(Error::fromErrno("Could not create " + folder));
  struct stat info;
  if (::lstat(folder.c_str(), &info) != 0) return unexpected(Error::fromErrno("Could not examine " + folder));
  if (!S_ISDIR(info.st_mode)) return unexpected(Error{folder + " is not a directory"});
  if (info.st_uid != ::geteuid())
    return unexpected(Error{folder + " belongs to user " + std::to_string(info.st_uid) + ", not to us"});
  if ((info.st_mode & 0777) != 0700 && ::chmod(folder.c_str(), 0700) != 0)
    return unexpected(Error::fromErrno("Could not make " + folder + " private"));
  return {};
}

Result<void> writeAll(int fd, std::string_view bytes, const std::string& what) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return unexpected(Error::fromErrno("Could not write " + what));
    if (n == 0) return unexpected(Error{"Could not write " + what + ": nothing written"});
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return {};
}

std::string parentDirectory(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

Result<void> makeDirectories(const std::string& path, mode_t mode) {
  struct stat status;
  if (::stat(path.c_str(), &status) == 0) {
    if (S_ISDIR(status.st_mode)) return {};
    return unexpected(Error::fromErrno("Could not create the folder " + path, ENOTDIR));
  }
  std::string parent = parentDirectory(path);
  if (parent != path && parent != "/" && parent != ".") {
    if (auto made = makeDirectories(parent, mode); !made) return made;
  }
  if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST)
    return unexpected(Error::fromErrno("Could not create the folder " + path));
  return {};
}

std::string homeDirectory() {
  std::string home;
  if (const char* env = std::getenv("HOME"); env && *env) {
    home = env;
  } else {
    std::vector<char> buffer(16384);
    passwd entry;
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
      home = found->pw_dir;
  }
  while (!home.empty() && home.back() == '/') home.pop_back();
  return home;
}

bool exists(const std::string& path) {
  struct stat status;
  return ::lstat(path.c_str(), &status) == 0;
}

Result<std::optional<std::string>> readRegularFileAt(int folder, const std::string& name, const std::string& shownAs,
                                                      std::size_t limit) {
  int raw;
  do {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    raw = ::openat(folder, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  } while (raw < 0 && errno == EINTR);
  if (raw < 0 && errno == ENOENT) return std::optional<std::string>();
  UniqueFd fd(raw);
  if (!fd) return unexpected(Error::fromErrno("Could not open " + shownAs));
  struct stat status;
  if (::fstat(fd.get(), &status) != 0) return unexpected(Error::fromErrno("Could not open " + shownAs));
  if (!S_ISREG(status.st_mode)) return unexpected(Error{"Could not open " + shownAs + ": not a regular file"});
  ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);

  std::string bytes;
  char buffer[16384];
  while (bytes.size() <= limit) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return unexpected(Error::fromErrno("Could not read " + shownAs));
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return std::optional<std::string>(std::move(bytes));
}

namespace {

Result<void> syncDirectory(const std::string& path) {
  std::string directory = parentDirectory(path);
  UniqueFd fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) return unexpected(Error::fromErrno("Could not open the folder " + directory));
  if (flushToStorage(fd.get()) != 0) return unexpected(Error::fromErrno("Could not flush the folder " + directory));
  return {};
}

}  // namespace

Result<std::string> read(const std::string& path, std::size_t limit) {
  auto bytes = readRegularFileAt(AT_FDCWD, path, path, limit);
  if (!bytes) return unexpected(bytes.error());
  if (!*bytes) return unexpected(Error::fromErrno("Could not open " + path, ENOENT));
  return std::move(**bytes);
}

Result<std::optional<std::string>> readIfPresent(const std::string& path, std::size_t limit) {
  return readRegularFileAt(AT_FDCWD, path, path, limit);
}

Result<void> writeAtomically(const std::string& path, const std::string& bytes, mode_t mode,
                             const std::string& lockedTemporaryPath) {
  std::string temporary = lockedTemporaryPath.empty() ? temporaryPathFor(path) : lockedTemporaryPath;
  if (!lockedTemporaryPath.empty()) ::unlink(temporary.c_str());
  UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode & 0777));
  if (fd.get() < 0) return unexpected(Error::fromErrno("Could not create " + temporary));
  auto fail = [&](Error error) -> Result<void> {
    ::unlink(temporary.c_str());
    return unexpected(std::move(error));
  };
  if (auto written = writeAll(fd.get(), bytes, temporary); !written) return fail(written.error());
  // The mode asked for, whatever the umask took away.
  if (::fchmod(fd.get(), mode) != 0) return fail(Error::fromErrno("Could not set the permissions of " + temporary));
  if (flushToStorage(fd.get()) != 0) return fail(Error::fromErrno("Could not write " + temporary));
  if (fd.close() != 0) return fail(Error::fromErrno("Could not write " + temporary));
  if (::rename(temporary.c_str(), path.c_str()) != 0) return fail(Error::fromErrno("Could not replace " + path));
  return syncDirectory(path);
}

Result<void> remove(const std::string& path) {
  if (::unlink(path.c_str()) != 0) return unexpected(Error::fromErrno("Could not remove " + path));
  return {};
}

Result<void> setMode(const std::string& path, mode_t mode) {
  if (::chmod(path.c_str(), mode) != 0) return unexpected(Error::fromErrno("Could not set the permissions of " + path));
  return {};
}

}  // namespace tavlune::platform::files

namespace tavlune::platform::files {

Expected<ExclusiveLock, ExclusiveLock::Refusal> ExclusiveLock::lock(const std::string& lockPath, int operation) {
  int raw;
  do {
    raw = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  } while (raw < 0 && errno == EINTR);
  UniqueFd fd(raw);
  if (!fd) return unexpected(Refusal{Error::fromErrno("Could not open " + lockPath)});
  int locked;
  do {
    locked = ::flock(fd.get(), operation);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) return unexpected(Refusal{Error::fromErrno("Could not lock " + lockPath), errno == EWOULDBLOCK});
  return ExclusiveLock(std::move(fd));
}

Result<ExclusiveLock> ExclusiveLock::acquire(const std::string& lockPath) {
  auto held = lock(lockPath, LOCK_EX);
  if (!held) return unexpected(held.error().error);
  return std::move(*held);
}

Expected<ExclusiveLock, ExclusiveLock::Refusal> ExclusiveLock::tryAcquire(const std::string& lockPath) {
  return lock(lockPath, LOCK_EX | LOCK_NB);
}

}  // namespace tavlune::platform::files
