#include "platform/socket/unix_address.h"

#include <algorithm>
#include <cstring>

namespace tavlune::platform {

sockaddr_un unixAddress(std::string_view path, socklen_t length) {
  sockaddr_un address;
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  const std::size_t end = std::min<std::size_t>(length, sizeof address);
  const std::size_t field = end > offsetof(sockaddr_un, sun_path) ? end - offsetof(sockaddr_un, sun_path) : 0;
  if (field == 0) return address;
  std::memcpy(address.sun_path, path.data(), std::min(path.size(), field - 1));
  return address;
}

}  // namespace tavlune::platform
