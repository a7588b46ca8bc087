// A server core on a thread, and a plain socket client, for the daemon's tests.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "helperd/server.h"
#include "helperprotocol/protocol.h"
#include "tests/support/temp_dir.h"

namespace tavlune::helperd::testing {

using helperprotocol::Reply;
using tavlune::testing::TempDir;

inline int connectTo(const std::string& path) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address = helperprotocol::makeAddress(path);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), helperprotocol::kAddressLength) == 0) return fd;
  ::close(fd);
  return -1;
}
inline bool sendAll(int fd, std::string_view bytes) {
  for (ssize_t n; !bytes.empty(); bytes.remove_prefix(static_cast<std::size_t>(n)))
    if ((n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL)) <= 0) return false;
  return true;
}
// Everything until the other side closes.
inline std::string readAll(int fd) {
  std::string out;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<std::size_t>(n));
  return out;
}
// A request without its line feed is ended by closing the sending side.
inline std::string exchange(const std::string& path, std::string_view request) {
  int fd = connectTo(path);
  if (fd < 0) return "<no connection>";
  sendAll(fd, request);
  if (request.find('\n') == std::string_view::npos) ::shutdown(fd, SHUT_WR);
  std::string reply = readAll(fd);
  ::close(fd);
  return reply;
}
inline std::string commandLine(std::string_view command) {
  return helperprotocol::encodeRequest(helperprotocol::Request{std::string(command)}).value();
}
inline std::string replyLine(const Reply& reply) { return helperprotocol::encodeReply(reply).value(); }
inline std::string failureLine(std::string_view text) { return replyLine(Reply::failure(std::string(text))); }
inline std::string invalidReply() { return failureLine(helperprotocol::kInvalidCommandText); }
inline std::string unauthorizedReply() { return failureLine(helperprotocol::kUnauthorizedText); }
inline const std::string kPing = "{\"command\":\"ping\"}\n";

inline ServerConfig mine(int timeoutMilliseconds = kRequestTimeoutMilliseconds, std::string shell = std::string(kShellPath)) {
  ServerConfig config;
  config.allowedUid = ::getuid(), config.requestTimeoutMilliseconds = timeoutMilliseconds, config.shell = std::move(shell);
  return config;
}

// The server core in a temporary folder, serving on its own thread.
class RunningServer {
 public:
  explicit RunningServer(const TempDir& folder, ServerConfig config = mine()) {
    config.socketPath = socketPath_ = folder / "helper.sock";
    config.chrome = chrome_ = {folder / "Managed Preferences/com.google.Chrome.plist",
                               folder / "Application Support/Tavlune/chrome-policy.backup.plist",
                               folder / "Application Support/Tavlune/chrome-policy.managed"};
    auto server = HelperServer::listen(std::move(config));
    if (!server) return;
    server_.emplace(std::move(*server));
    thread_ = std::thread([this] {
      while (!stopping_) server_->serveOne();
    });
  }
  ~RunningServer() {
    if (!server_) return;
    stopping_ = true;
    if (int fd = connectTo(socketPath_); fd >= 0) ::close(fd);  // wakes the accept
    thread_.join();
  }
  bool listening() const { return server_.has_value(); }
  const std::string& socketPath() const { return socketPath_; }
  const ChromePolicyPaths& chrome() const { return chrome_; }
  std::string exchange(std::string_view request) const { return testing::exchange(socketPath_, request); }

 private:
  std::string socketPath_;
  ChromePolicyPaths chrome_;
  std::optional<HelperServer> server_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace tavlune::helperd::testing
