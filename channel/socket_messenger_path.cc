#include "channel/socket_messenger_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files/files.h"
#include "platform/socket/unix_address.h"

namespace tavlune::channel {

using platform::Error;

std::string channelFolder() { return platform::files::homeDirectory() + "/" + kChannelFolder; }

std::string channelSocketPath() { return channelFolder() + "/" + kChannelSocketName; }

platform::Result<sockaddr_un> channelSocketAddress(const std::string& path) {
  if (path.empty() || path.size() >= platform::kUnixPathField)
    return unexpected(Error{"The channel socket path " + path + " is " + std::to_string(path.size()) +
                            " bytes long; a Unix socket path must be shorter than " +
                            std::to_string(platform::kUnixPathField) + " bytes (use a shorter HOME)"});
  if (path.find('\0') != std::string::npos) return unexpected(Error{"The channel socket path holds a NUL byte"});
  return platform::unixAddress(path);
}

platform::Result<void> preparePrivateFolder(const std::string& folder) {
  // Parents that are symbolic links (a moved Library, say) are followed; only
  // the folder itself must be a real directory, which lstat checks below.
  if (auto made = platform::files::makeDirectories(platform::files::parentDirectory(folder), 0755); !made) return made;
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

}  // namespace tavlune::channel
