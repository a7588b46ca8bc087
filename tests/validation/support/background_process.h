// A server the test starts and stops: run in the foreground as our child,
// its output kept in a log file for the failure message, stopped (and
// reaped) when the object goes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace tavlune::validation::testing {

class BackgroundProcess {
 public:
  BackgroundProcess(const std::string& path, const std::vector<std::string>& arguments, std::string logPath);
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  bool running();
  std::string log() const;
  // The first line the process printed, once it has printed one; empty if it
  // ended or the time ran out first.
  std::string firstLine(std::chrono::milliseconds timeout);
  // True once something accepts TCP connections on 127.0.0.1:port.
  bool waitUntilListening(int port, std::chrono::milliseconds timeout);

 private:
  std::string path_;
  std::string logPath_;
  pid_t pid_ = -1;
};

// A TCP port on 127.0.0.1 that nobody was listening on a moment ago.
int freePort();

}  // namespace tavlune::validation::testing
