#include "platform/sysconfig/preferences_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include "platform/plist/limits.h"

namespace tavlune::platform::sysconfig {

Result<NetworkPreferences> readPreferencesFile(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return unexpected(Error::fromErrno("open " + path));

  std::vector<uint8_t> bytes;
  uint8_t buffer[16384];
  // One byte past the cap is enough for the parser to refuse the file.
  while (bytes.size() <= plist::kMaxInputBytes) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      return unexpected(Error::fromErrno("read " + path, error));
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  ::close(fd);
  return NetworkPreferences::fromBytes(bytes);
}

}  // namespace tavlune::platform::sysconfig
