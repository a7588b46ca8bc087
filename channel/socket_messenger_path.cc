#include "channel/socket_messenger_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files/files.h"

namespace tavlune::channel {

using platform::Error;

std::string channelFolder() { return platform::files::homeDirectory() + "/" + kChannelFolder; }

std::string channelSocketPath() { return channelFolder() + "/" + kChannelSocketName; }

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
