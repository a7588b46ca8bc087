#include "channel/socket_messenger_path.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace tavlune::channel {
namespace {

using platform::Error;

platform::Result<void> makeFolder(const std::string& folder, mode_t mode) {
  struct stat info;
  if (::lstat(folder.c_str(), &info) == 0) {
    if (!S_ISDIR(info.st_mode)) return unexpected(Error{folder + " is not a directory"});
    return {};
  }
  if (errno != ENOENT) return unexpected(Error::fromErrno("Could not examine " + folder));
  const size_t slash = folder.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    // Parents that are symbolic links (a moved Library, say) are followed; only the last level must be real.
    struct stat parent;
    const std::string above = folder.substr(0, slash);
    if (::stat(above.c_str(), &parent) != 0) {
      if (auto made = makeFolder(above, 0755); !made) return made;
    }
  }
  if (::mkdir(folder.c_str(), mode) != 0 && errno != EEXIST)
    return unexpected(Error::fromErrno("Could not create " + folder));
  return {};
}

}  // namespace

std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/";
}

std::string ChannelFolder() {
  std::string home = HomeDirectory();
  if (home.size() > 1 && home.back() == '/') home.pop_back();
  return (home == "/" ? "" : home) + "/" + kChannelFolder;
}

std::string ChannelSocketPath() { return ChannelFolder() + "/" + kChannelSocketName; }

platform::Result<void> PreparePrivateFolder(const std::string& folder) {
  if (auto made = makeFolder(folder, 0700); !made) return made;
  struct stat info;
  if (::lstat(folder.c_str(), &info) != 0) return unexpected(Error::fromErrno("Could not examine " + folder));
  if (!S_ISDIR(info.st_mode)) return unexpected(Error{folder + " is not a directory"});
  if (info.st_uid != ::geteuid())
    return unexpected(Error{folder + " belongs to user " + std::to_string(info.st_uid) + ", not to us"});
  if ((info.st_mode & 0777) != 0700 && ::chmod(folder.c_str(), 0700) != 0)
    return unexpected(Error::fromErrno("Could not make " + folder + " private"));
  return {};
}

}  // namespace tavlune::channel
