// TavluneProxyHelper's server: one listening socket, one connection at a
// time, one request and one reply each.
#pragma once

#include <cstdint>
#include <string>

#include "helperprotocol/protocol.h"
#include "helperd/chrome_policy.h"
#include "helperd/command_lock.h"
#include "helperd/command_runner.h"
#include "helperd/uid_argument.h"
#include "platform/error.h"
#include "platform/unique_fd.h"

namespace tavlune::helperd {

// The application writes its whole line right after connecting, so a client
// still short of a line feed after this long is stuck or hostile; it must not
// hold the only thread. (The reply is written without waiting at all.)
inline constexpr int kRequestTimeoutMilliseconds = 5000;

inline constexpr int kListenBacklog = 8;
inline constexpr mode_t kSocketMode = 0666;

struct ServerConfig {
  std::string socketPath{helperprotocol::kSocketPath};
  ChromePolicyPaths chrome;
  uint32_t allowedUid = kNoUser;
  int requestTimeoutMilliseconds = kRequestTimeoutMilliseconds;
  std::string shell{kShellPath};
  std::string commandLock{kCommandLockPath};
  std::chrono::milliseconds earlierLineWait = kEarlierLineWait;
};

class HelperServer {
 public:
  // Removes a stale file at the socket path, then creates, binds (address
  // length 106), opens to everyone (0666: the peer check decides) and listens
  // with a backlog of 8. The error names the step that failed.
  static platform::Result<HelperServer> listen(ServerConfig config);

  HelperServer(HelperServer&&) noexcept = default;
  HelperServer& operator=(HelperServer&&) = delete;

  // Accepts one connection (retrying failed accepts) and serves it to the end.
  void serveOne();
  [[noreturn]] void serveForever();

  // Serves an accepted connection and closes it.
  void serve(platform::UniqueFd connection) const;

 private:
  HelperServer(ServerConfig config, platform::UniqueFd fd) : config_(std::move(config)), fd_(std::move(fd)) {}
  helperprotocol::Reply respond(int connection) const;

  ServerConfig config_;
  platform::UniqueFd fd_;
};

}  // namespace tavlune::helperd
