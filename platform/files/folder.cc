#include "platform/files/folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/files/files.h"

namespace tavlune::platform::files {
namespace {

int openFolderAt(int parent, const std::string& name) {
  int fd;
  do {
    fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

Result<Folder> Folder::openMaking(const std::string& path, mode_t mode) {
  if (path.empty() || path.front() != '/') return unexpected(Error{"Not an absolute folder path: " + path});
  UniqueFd current(openFolderAt(AT_FDCWD, "/"));
  if (!current) return unexpected(Error::fromErrno("Could not open the folder /"));
  std::string reached;
  for (std::size_t start = 1; start <= path.size();) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string name = path.substr(start, end - start);
    start = end + 1;
    if (name.empty() || name == ".") continue;
    if (name == "..") return unexpected(Error{"Could not open the folder " + path + ": it climbs with \"..\""});
    reached += "/" + name;
    int next = openFolderAt(current.get(), name);
    if (next < 0 && errno == ENOENT) {
      if (::mkdirat(current.get(), name.c_str(), mode) != 0 && errno != EEXIST)
        return unexpected(Error::fromErrno("Could not create the folder " + reached));
      next = openFolderAt(current.get(), name);
    }
    // O_NOFOLLOW reports a link as ELOOP (or ENOTDIR beside O_DIRECTORY).
    if (next < 0 && (errno == ELOOP || errno == ENOTDIR))
      return unexpected(Error{"Could not open the folder " + reached + ": it is a symbolic link or not a folder"});
    if (next < 0) return unexpected(Error::fromErrno("Could not open the folder " + reached));
    current.reset(next);
  }
  return Folder(std::move(current), reached.empty() ? "/" : reached);
}

Result<std::optional<Folder::Entry>> Folder::entry(const std::string& name) const {
  struct stat status;
  if (::fstatat(fd_.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return std::optional<Entry>();
    return unexpected(Error::fromErrno("Could not look at " + pathOf(name)));
  }
  return std::optional<Entry>(Entry{static_cast<mode_t>(status.st_mode & 07777), status.st_uid, status.st_gid, S_ISREG(status.st_mode)});
}

Result<std::optional<std::string>> Folder::read(const std::string& name, std::size_t limit) const {
  return readRegularFileAt(fd_.get(), name, pathOf(name), limit);
}

Result<void> Folder::write(const std::string& name, const std::string& bytes, mode_t mode, uid_t owner,
                           gid_t group) const {
  static std::atomic<unsigned> counter{0};
  const std::string temporary = name + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
  UniqueFd fd(::openat(fd_.get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd) return unexpected(Error::fromErrno("Could not create " + pathOf(temporary)));
  auto fail = [&](Error error) -> Result<void> {
    ::unlinkat(fd_.get(), temporary.c_str(), 0);
    return unexpected(std::move(error));
  };
  if (auto written = writeAll(fd.get(), bytes, pathOf(temporary)); !written) return fail(written.error());
  // Owner before bits: changing the owner may clear set-id bits.
  if (::fchown(fd.get(), owner, group) != 0)
    return fail(Error::fromErrno("Could not set the owner of " + pathOf(temporary)));
  if (::fchmod(fd.get(), mode) != 0)
    return fail(Error::fromErrno("Could not set the permissions of " + pathOf(temporary)));
  if (::fsync(fd.get()) != 0 || fd.close() != 0) return fail(Error::fromErrno("Could not write " + pathOf(temporary)));
  if (::renameat(fd_.get(), temporary.c_str(), fd_.get(), name.c_str()) != 0)
    return fail(Error::fromErrno("Could not replace " + pathOf(name)));
  if (::fsync(fd_.get()) != 0) return unexpected(Error::fromErrno("Could not flush the folder " + path_));
  return {};
}

Result<void> Folder::remove(const std::string& name) const {
  if (::unlinkat(fd_.get(), name.c_str(), 0) != 0)
    return unexpected(Error::fromErrno("Could not remove " + pathOf(name)));
  if (::fsync(fd_.get()) != 0) return unexpected(Error::fromErrno("Could not flush the folder " + path_));
  return {};
}

}  // namespace tavlune::platform::files
