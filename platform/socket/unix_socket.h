// Unix-domain stream sockets as both ends of the helper's conversation use
// them: close-on-exec, never raising SIGPIPE, every call retried on EINTR.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <string_view>

#include "platform/error.h"
#include "platform/unique_fd.h"

namespace tavlune::platform {

// A new stream socket of the Unix domain; invalid on failure (errno set).
UniqueFd makeStreamSocket();

// Connects to address within timeout (a listener whose queue is full makes
// connect wait). The error's code tells a missing socket file, a refusal and
// a time-out apart.
Result<UniqueFd> connectStreamSocket(const sockaddr_un& address, socklen_t length,
                                     std::chrono::milliseconds timeout);

// Writes every byte, retrying EINTR and short writes; a peer that has gone
// away is an error, never a signal. On a socket with a send time-out, a peer
// that stops reading ends it with an error once that time has passed.
Result<void> sendAll(int fd, std::string_view bytes);

// Accepts one connection, close-on-exec and without SIGPIPE; the error's code
// says when descriptors or memory ran out.
Result<UniqueFd> acceptConnection(int listener);

}  // namespace tavlune::platform
