// The address of a Unix-domain socket, as bind and connect take it, built in
// one place for every socket of the product.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <string_view>

namespace tavlune::platform {

// The bytes of sun_path, its zero byte included: 108 on Linux, 104 on macOS.
inline constexpr std::size_t kUnixPathField = sizeof(sockaddr_un{}.sun_path);

// Zeroed, family AF_UNIX, then path's bytes and a zero byte, all within the
// first `length` bytes of the address: the length passed with it to bind or
// connect. A longer path is cut rather than overrun; callers that must not cut
// check the path against kUnixPathField first.
sockaddr_un unixAddress(std::string_view path, socklen_t length = sizeof(sockaddr_un));

}  // namespace tavlune::platform
