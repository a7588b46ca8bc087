#include "channel/socket_messenger_io.h"

#include <cstring>

namespace tavlune::channel::internal {

using platform::Error;

platform::Result<sockaddr_un> socketAddress(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path)
    return unexpected(Error{"The channel socket path " + path + " is " + std::to_string(path.size()) +
                            " bytes long; a Unix socket path must be shorter than " +
                            std::to_string(sizeof address.sun_path) + " bytes (use a shorter HOME)"});
  if (path.find('\0') != std::string::npos) return unexpected(Error{"The channel socket path holds a NUL byte"});
  std::memcpy(address.sun_path, path.data(), path.size());
  return address;
}

}  // namespace tavlune::channel::internal
