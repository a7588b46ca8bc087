// Running a program by path with an argument list (never through a shell),
// its standard output and standard error each on a pipe, both drained
// together while it runs so that a child writing a lot never stalls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"

namespace tavlune::platform {

struct ProcessOptions {
  // The child's whole environment as NAME=value entries; absent inherits ours.
  std::optional<std::vector<std::string>> environment;
  // Bytes kept of each stream; the rest is read and dropped, so that a child
  // cannot make the caller hold unbounded output.
  std::size_t maxCapturedBytes = 16 * 1024 * 1024;
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
// /dev/null, no descriptor of ours inherited, and waits for it to end. Fails
// only when the program cannot be started.
Result<ProcessResult> runProcess(const std::string& path, const std::vector<std::string>& arguments,
                                 const ProcessOptions& options = {});

}  // namespace tavlune::platform
