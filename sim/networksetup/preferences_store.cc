#include "sim/networksetup/preferences_store.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include "platform/plist/plist.h"
#include "platform/sysconfig/preferences_file.h"

namespace tavlune::sim {
namespace {

using platform::Error;
using platform::Result;
namespace pl = platform::plist;

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
  int release() { return std::exchange(fd_, -1); }

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

std::string directoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

Result<void> fsyncRetrying(int fd, const std::string& what) {
  int rc;
  do {
    rc = ::fsync(fd);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) return unexpected(Error::fromErrno("fsync " + what));
  return {};
}

// A uniquely named temporary beside the target, written, flushed and renamed
// over it; then the directory is flushed so that the rename survives a crash.
Result<void> replaceFile(const std::string& path, const pl::Data& bytes, mode_t mode) {
  std::string temporary = path + ".XXXXXX";
  int raw = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (raw < 0) return unexpected(Error::fromErrno("create " + temporary));
  Fd fd(raw);
  auto written = [&]() -> Result<void> {
    if (::fchmod(fd.get(), mode) != 0) return unexpected(Error::fromErrno("chmod " + temporary));
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return unexpected(Error::fromErrno("write " + temporary));
      done += static_cast<size_t>(n);
    }
    if (auto r = fsyncRetrying(fd.get(), temporary); !r) return r;
    // close() is where a delayed write error can surface; EINTR still closed it.
    if (::close(fd.release()) != 0 && errno != EINTR) return unexpected(Error::fromErrno("close " + temporary));
    if (::rename(temporary.c_str(), path.c_str()) != 0) return unexpected(Error::fromErrno("rename " + path));
    return {};
  }();
  if (!written) {
    ::unlink(temporary.c_str());
    return written;
  }
  const std::string dir = directoryOf(path);
  Fd dirFd = openRetrying(dir, O_RDONLY | O_DIRECTORY);
  if (!dirFd.valid()) return unexpected(Error::fromErrno("open " + dir));
  return fsyncRetrying(dirFd.get(), dir);
}

Result<Fd> lockExclusive(const std::string& lockPath) {
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

PreferencesStore::PreferencesStore(std::string preferencesPath)
    : preferencesPath_(std::move(preferencesPath)),
      keychainPath_(directoryOf(preferencesPath_) + "/" + keychainFileName) {}

Result<platform::sysconfig::NetworkPreferences> PreferencesStore::read() const {
  return platform::sysconfig::readPreferencesFile(preferencesPath_);
}

// No keychain file yet holds no passwords; a damaged one is an error rather
// than a reason to drop the passwords it holds.
Result<Keychain> PreferencesStore::readKeychain() const {
  if (::access(keychainPath_.c_str(), F_OK) != 0 && errno == ENOENT) return Keychain{};
  auto contents = platform::sysconfig::readPreferencesFile(keychainPath_);
  if (!contents) return unexpected(Error{"The keychain " + keychainPath_ + " cannot be read: " + contents.error().description});
  return contents->root();
}

Result<void> PreferencesStore::update(const Change& change) const {
  auto lock = lockExclusive(preferencesPath_ + ".lock");
  if (!lock) return unexpected(lock.error());
  auto preferences = read();
  if (!preferences) return unexpected(preferences.error());
  auto keychain = readKeychain();
  if (!keychain) return unexpected(keychain.error());
  const Keychain before = *keychain;

  auto changed = change(*preferences, *keychain);
  if (!changed) return unexpected(changed.error());
  if (!*changed) return {};

  // Both encoded before either is written, so a value that cannot be stored
  // leaves both files as they were.
  auto preferencesBytes = preferences->toBinary();
  if (!preferencesBytes) return unexpected(preferencesBytes.error());
  if (!(*keychain == before)) {
    auto keychainBytes = pl::toBinary(pl::Value(*keychain));
    if (!keychainBytes) return unexpected(keychainBytes.error());
    if (auto r = replaceFile(keychainPath_, *keychainBytes, 0600); !r) return r;
  }
  return replaceFile(preferencesPath_, *preferencesBytes, 0644);
}

}  // namespace tavlune::sim
