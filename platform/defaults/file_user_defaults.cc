#include "platform/defaults/file_user_defaults.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/plist/plist.h"

namespace tavlune::platform {
namespace {

namespace pl = plist;

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closing is where a delayed write error can surface.
  int close() { return ::close(std::exchange(fd_, -1)); }

 private:
  int fd_;
};

Fd openRetrying(const std::string& path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return Fd(fd);
}

std::string parentOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// mkdir -p, owner-only for what it creates: preferences are private.
Result<void> makeDirectories(const std::string& dir) {
  struct stat st;
  if (::stat(dir.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return {};
    return unexpected(Error{dir + " is not a directory"});
  }
  if (errno != ENOENT) return unexpected(Error::fromErrno("stat " + dir));
  const std::string parent = parentOf(dir);
  if (parent != dir) {
    if (auto r = makeDirectories(parent); !r) return r;
  }
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return unexpected(Error::fromErrno("mkdir " + dir));
  return {};
}

// The file's bytes, or nullopt when there is no file.
Result<std::optional<Bytes>> readFile(const std::string& path) {
  Fd fd = openRetrying(path, O_RDONLY);
  if (!fd.valid()) {
    if (errno == ENOENT) return std::optional<Bytes>();
    return unexpected(Error::fromErrno("open " + path));
  }
  Bytes bytes;
  uint8_t buffer[16384];
  // One byte past the cap is enough for the parser to refuse it.
  while (bytes.size() <= pl::kMaxInputBytes) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return unexpected(Error::fromErrno("read " + path));
    if (n == 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return std::optional<Bytes>(std::move(bytes));
}

// A missing or corrupt file holds nothing.
pl::Dictionary entriesOf(const std::optional<Bytes>& bytes) {
  if (!bytes) return {};
  auto parsed = pl::parse(std::span<const uint8_t>(*bytes));
  if (!parsed) return {};
  if (pl::Dictionary* entries = parsed->as<pl::Dictionary>()) return std::move(*entries);
  return {};
}

Result<void> writeAll(int fd, const Bytes& bytes, const std::string& path) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return unexpected(Error::fromErrno("write " + path));
    done += static_cast<size_t>(n);
  }
  return {};
}

Result<void> fsyncRetrying(int fd, const std::string& path) {
  int rc;
  do {
    rc = ::fsync(fd);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) return unexpected(Error::fromErrno("fsync " + path));
  return {};
}

// Temporary file in the same directory, flushed, renamed over the target, and
// the directory flushed so that the rename itself survives a crash. The
// temporary name is fixed: only the holder of the lock writes it.
Result<void> replaceFile(const std::string& path, const Bytes& bytes) {
  const std::string temporary = path + ".tmp";
  Fd fd = openRetrying(temporary, O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (!fd.valid()) return unexpected(Error::fromErrno("open " + temporary));
  auto written = [&]() -> Result<void> {
    if (::fchmod(fd.get(), 0600) != 0) return unexpected(Error::fromErrno("chmod " + temporary));
    if (auto r = writeAll(fd.get(), bytes, temporary); !r) return r;
    if (auto r = fsyncRetrying(fd.get(), temporary); !r) return r;
    if (fd.close() != 0 && errno != EINTR) return unexpected(Error::fromErrno("close " + temporary));
    if (::rename(temporary.c_str(), path.c_str()) != 0) return unexpected(Error::fromErrno("rename " + path));
    return {};
  }();
  if (!written) {
    ::unlink(temporary.c_str());
    return written;
  }
  const std::string dir = parentOf(path);
  Fd dirFd = openRetrying(dir, O_RDONLY | O_DIRECTORY);
  if (!dirFd.valid()) return unexpected(Error::fromErrno("open " + dir));
  return fsyncRetrying(dirFd.get(), dir);
}

// Held for the whole read-modify-replace so that other processes' changes in
// between are never overwritten. The lock goes with the descriptor.
Result<Fd> lockExclusive(const std::string& path) {
  const std::string lockPath = path + ".lock";
  Fd fd = openRetrying(lockPath, O_RDWR | O_CREAT, 0600);
  if (!fd.valid()) return unexpected(Error::fromErrno("open " + lockPath));
  int rc;
  do {
    rc = ::flock(fd.get(), LOCK_EX);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) return unexpected(Error::fromErrno("flock " + lockPath));
  return fd;
}

}  // namespace

std::string FileUserDefaults::standardPath() {
  std::string home;
  if (const char* env = std::getenv("HOME"); env && *env) {
    home = env;
  } else {
    std::vector<char> buffer(16384);
    passwd entry;
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
      home = found->pw_dir;
    }
  }
  return home + "/Library/Preferences/" + std::string(kBundleIdentifier) + ".plist";
}

FileUserDefaults::FileUserDefaults(std::string path) : path_(std::move(path)) {}

std::optional<Bytes> FileUserDefaults::data(const std::string& key) {
  // Replacement is atomic, so a read without the lock sees one whole file.
  auto bytes = readFile(path_);
  if (!bytes) return std::nullopt;
  pl::Dictionary entries = entriesOf(*bytes);
  auto it = entries.find(key);
  if (it == entries.end()) return std::nullopt;
  if (const pl::Data* value = it->second.as<pl::Data>()) return *value;
  return std::nullopt;
}

template <typename Change>
Result<void> FileUserDefaults::update(Change&& change) {
  std::lock_guard guard(mutex_);
  if (auto r = makeDirectories(parentOf(path_)); !r) return r;
  auto lock = lockExclusive(path_);
  if (!lock) return unexpected(lock.error());
  auto bytes = readFile(path_);
  // Unreadable is not corrupt: writing now could drop entries we cannot see.
  if (!bytes) return unexpected(bytes.error());
  pl::Dictionary entries = entriesOf(*bytes);
  if (!change(entries)) return {};
  auto encoded = pl::toBinary(pl::Value(std::move(entries)));
  if (!encoded) return unexpected(encoded.error());
  return replaceFile(path_, *encoded);
}

Result<void> FileUserDefaults::setData(const std::string& key, const Bytes& value) {
  return update([&](pl::Dictionary& entries) {
    entries[key] = pl::Value(pl::Data(value));
    return true;
  });
}

Result<void> FileUserDefaults::removeObject(const std::string& key) {
  return update([&](pl::Dictionary& entries) { return entries.erase(key) != 0; });
}

}  // namespace tavlune::platform
