// A pipe that one thread, or a signal handler, writes a byte to so that
// another, waiting in poll() or read() on its read end, wakes. Both ends are
// close-on-exec; the write end never blocks, as a full pipe is readable
// already.
#pragma once

#include <optional>
#include <string>

#include "platform/error.h"
#include "platform/unique_fd.h"

namespace tavlune::platform {

class SelfPipe {
 public:
  enum class Reading { blocking, nonBlocking };
  enum class Wake { sent, full, failed };

  // The error says "what: " and the system's reason.
  static Result<SelfPipe> open(Reading reading, const std::string& what);

  int readFd() const { return read_.get(); }
  int writeFd() const { return write_.get(); }

  // Writes byte, retrying EINTR.
  Wake wake(char byte = 1) const;
  // Reads all the pipe holds; for a non-blocking read end.
  void drain() const;
  // Waits for the next byte, retrying EINTR; nothing once every write end
  // has closed or on failure. For a blocking read end.
  std::optional<char> next() const;

  // Gives up the write end without closing it, for a signal handler that may
  // still write to it.
  void keepWriteEndOpen() { (void)write_.release(); }

  // The write a signal handler makes: one byte to fd, errno left as it was.
  static void wakeFromSignal(int writeFd, char byte);

 private:
  SelfPipe(UniqueFd read, UniqueFd write) : read_(std::move(read)), write_(std::move(write)) {}
  UniqueFd read_, write_;
};

}  // namespace tavlune::platform
