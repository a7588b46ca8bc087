// Running a program by path with an argument list (never through a shell),
// its standard output and standard error each on a pipe, both drained
// together while it runs so that a child writing a lot never stalls, and
// optionally bytes fed to its standard input meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/cancellation.h"
#include "platform/error.h"

namespace tavlune::platform {

struct ProcessOptions {
  // The child's whole environment as NAME=value entries; absent inherits ours.
  std::optional<std::vector<std::string>> environment;
  // Bytes kept of each stream; the rest is read and dropped, so that a child
  // cannot make the caller hold unbounded output.
  std::size_t maxCapturedBytes = 16 * 1024 * 1024;
  // Bytes for the child's standard input, which ends after them; absent gives
  // /dev/null. They travel on a descriptor, never in the argument list that
  // every local user can read. Written while the output is drained, so a
  // child that reads late or never stalls neither side; what it leaves unread
  // when it ends or closes its input is dropped, and is no error.
  std::optional<std::string> standardInput = std::nullopt;
  // Once cancelled, the child is killed (SIGKILL: nothing it could still
  // write is wanted) and its output drained to the end as usual.
  const Cancellation* cancellation = nullptr;
  // A descriptor of ours the child gets as its descriptor 3, and passes on
  // to the programs it starts; nothing else of ours is inherited.
  std::optional<int> inheritedDescriptor = std::nullopt;
};

struct ProcessResult {
  // The exit status, or the signal number when a signal ended the child.
  int terminationStatus = 0;
  bool endedBySignal = false;
  std::vector<uint8_t> standardOutput;
  std::vector<uint8_t> standardError;

  bool succeeded() const { return !endedBySignal && terminationStatus == 0; }
};

// Starts path with arguments (argv[0] is path), standard input from
// options.standardInput or /dev/null, no descriptor of ours inherited but
// options.inheritedDescriptor, and waits for it to end. Fails only when the program cannot be started.
Result<ProcessResult> runProcess(const std::string& path, const std::vector<std::string>& arguments,
                                 const ProcessOptions& options = {});

}  // namespace tavlune::platform
