// Unix-domain stream sockets as both ends of the helper's conversation use
// them: close-on-exec, never raising SIGPIPE, every call retried on EINTR.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <cstddef>
#include <optional>
#include <string_view>

#include "platform/error.h"
#include "platform/unique_fd.h"

namespace tavlune::platform {

// A new stream socket of the Unix domain; invalid on failure (errno set).
UniqueFd makeStreamSocket();

// Connects fd to address (built by unixAddress, passed with its length). The
// error is the system's text alone, naming nothing: callers say what they
// tried. Its code tells a missing socket file, a refusal and a time-out apart.
Result<void> connectSocket(int fd, const sockaddr_un& address, socklen_t length);

// A new stream socket connected to address; its errors as connectSocket's.
// With a timeout, connect gives up after it (a listener whose queue is full
// makes connect wait) and so does every later send; without, both may wait.
Result<UniqueFd> connectStreamSocket(const sockaddr_un& address, socklen_t length,
                                     std::optional<std::chrono::milliseconds> timeout = std::nullopt);

// Writes every byte, retrying EINTR and short writes; a peer that has gone
// away is an error, never a signal. On a socket with a send time-out, a peer
// that stops reading ends it with an error once that time has passed.
Result<void> sendAll(int fd, std::string_view bytes);

// Reads what has arrived, up to size bytes, retrying EINTR: the count, 0 once
// the peer has closed its end. The error is the system's text alone.
Result<std::size_t> receiveSome(int fd, void* buffer, std::size_t size);

// Without waiting, as a socket serving many peers reads: the count (0 once
// the peer has closed its end), or absent while nothing has arrived.
Result<std::optional<std::size_t>> receiveReady(int fd, void* buffer, std::size_t size);

// Without waiting: how many of the bytes the socket took, 0 while its buffer
// is full; a peer that has gone away is an error, never a signal.
Result<std::size_t> sendReady(int fd, std::string_view bytes);

// Accepts one connection, close-on-exec, without SIGPIPE and, when asked,
// non-blocking; retries EINTR and a connection that went before it was
// taken. The error's code says when descriptors or memory ran out.
Result<UniqueFd> acceptConnection(int listener, bool nonBlocking = false);

}  // namespace tavlune::platform
