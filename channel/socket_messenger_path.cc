#include "channel/socket_messenger_path.h"

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

}  // namespace tavlune::channel
