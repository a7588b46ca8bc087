#include "sim/networksetup/injected_failure.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <charconv>

#include "platform/unique_fd.h"

namespace tavlune::sim {

bool takeInjectedFailure(const std::string& settingPath) {
  platform::UniqueFd fd(::open(settingPath.c_str(), O_RDWR | O_CLOEXEC));
  if (!fd || ::flock(fd.get(), LOCK_EX) != 0) return false;
  char text[32] = {};
  const ssize_t n = ::pread(fd.get(), text, sizeof text - 1, 0);
  long left = 0;
  if (n <= 0 || std::from_chars(text, text + n, left).ec != std::errc() || left < 0) return false;
  if (left == 0) {
    ::unlink(settingPath.c_str());
    return true;
  }
  const std::string counted = std::to_string(left - 1) + "\n";
  if (::ftruncate(fd.get(), 0) == 0) (void)!::pwrite(fd.get(), counted.data(), counted.size(), 0);
  return false;
}

}  // namespace tavlune::sim
