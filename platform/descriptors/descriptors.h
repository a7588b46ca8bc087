// Descriptors no child inherits, made with the calls each platform has. Linux
// says so when it creates one (pipe2); macOS sets the flag
// afterwards, and closes the gap that leaves for the children we start by
// spawning them with nothing but the descriptors their file actions name.
#pragma once

#include <poll.h>
#include <spawn.h>

#include <span>

#include "platform/error.h"

namespace tavlune::platform {

// pipe(2) with both ends close-on-exec: 0, or -1 with errno set.
int makeCloseOnExecPipe(int fds[2]);

// Sets O_NONBLOCK on fd, keeping its other status flags.
void setNonBlocking(int fd);

// poll(2) over descriptors for at most timeoutMilliseconds (-1: no limit). A
// signal that ends the wait early is no error: it returns with no events, and
// callers look again.
Result<void> waitForEvents(std::span<pollfd> descriptors, int timeoutMilliseconds);

// Writes what the system holds of fd's file out to the storage: fsync, and on
// macOS F_FULLFSYNC, without which the drive may keep it in its cache past a
// power loss (fsync as the fallback where the file system cannot). 0, or -1
// with errno set.
int flushToStorage(int fd);

// The child keeps its standard descriptors and those the file actions name
// (numbered below firstUnnamed), and nothing else, whatever a library opened
// without the flag. 0, or an error number.
int keepOnlyNamedDescriptors(posix_spawn_file_actions_t& actions, posix_spawnattr_t& attributes, int firstUnnamed);

}  // namespace tavlune::platform
