#include "helperd/server.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>
#include <utility>

#include "helperprotocol/framing.h"
#include "platform/crash_point.h"
#include "platform/socket/peer_credentials.h"
#include "platform/socket/unix_socket.h"
#include "helperd/request.h"

namespace tavlune::helperd {
namespace {

using platform::Error;

// The replies every connection may get, serialized once.
const std::string& fixedLine(const helperprotocol::Reply& reply) {
  static const std::string pong = helperprotocol::encodeReply(helperprotocol::Reply::pong()).value();
  static const std::string success = helperprotocol::encodeReply(helperprotocol::Reply::success()).value();
  static const std::string invalid =
      helperprotocol::encodeReply(helperprotocol::Reply::failure(std::string(helperprotocol::kInvalidCommandText))).value();
  static const std::string unauthorized =
      helperprotocol::encodeReply(helperprotocol::Reply::failure(std::string(helperprotocol::kUnauthorizedText))).value();
  static const std::string none;
  if (reply == helperprotocol::Reply::pong()) return pong;
  if (reply == helperprotocol::Reply::success()) return success;
  if (!reply.ok && reply.error == helperprotocol::kInvalidCommandText) return invalid;
  if (!reply.ok && reply.error == helperprotocol::kUnauthorizedText) return unauthorized;
  return none;
}

// One write, never waiting: a new connection's send buffer takes any reply
// whole (error texts are bounded), and a peer that reads nothing cannot hold
// the daemon. A short write or a failure is the peer's loss, not ours.
void writeResponse(const helperprotocol::Reply& reply, int fd) {
  const std::string& fixed = fixedLine(reply);
  if (!fixed.empty()) {
    (void)platform::sendReady(fd, fixed);
    return;
  }
  auto line = helperprotocol::encodeReply(reply);
  if (!line) return;
  (void)platform::sendReady(fd, *line);
}

helperprotocol::Reply replyFor(const Outcome& outcome) {
  return outcome.succeeded ? helperprotocol::Reply::success() : helperprotocol::Reply::failure(outcome.text);
}

}  // namespace

platform::Result<HelperServer> HelperServer::listen(ServerConfig config) {
  ::unlink(config.socketPath.c_str());
  platform::UniqueFd fd = platform::makeStreamSocket();
  if (!fd) return unexpected(Error::fromErrno("Could not create the helper socket"));
  sockaddr_un address = helperprotocol::makeAddress(config.socketPath);
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), helperprotocol::kAddressLength) != 0)
    return unexpected(Error::fromErrno("Could not bind " + config.socketPath));
  (void)::chmod(config.socketPath.c_str(), kSocketMode);
  if (::listen(fd.get(), kListenBacklog) != 0)
    return unexpected(Error::fromErrno("Could not listen on " + config.socketPath));
  return HelperServer(std::move(config), std::move(fd));
}

void HelperServer::serveOne() {
  for (;;) {
    auto connection = platform::acceptConnection(fd_.get());
    if (connection) return serve(std::move(*connection));
    // Out of descriptors or memory: retrying at once would only spin.
    if (connection.error().code == platform::ErrorCode::exhausted)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

void HelperServer::serveForever() {
  for (;;) serveOne();
}

void HelperServer::serve(platform::UniqueFd connection) const {
  writeResponse(respond(connection.get()), connection.get());
}

helperprotocol::Reply HelperServer::respond(int connection) const {
  using Kind = Action::Kind;
  auto peer = platform::peerUserId(connection);
  // The request of a refused peer is never read.
  if (!peer || config_.allowedUid == kNoUser || *peer != config_.allowedUid)
    return helperprotocol::Reply::failure(std::string(helperprotocol::kUnauthorizedText));

  Action action = classifyRequest(helperprotocol::readMessage(connection, config_.requestTimeoutMilliseconds));
  switch (action.kind) {
    case Kind::ping:
      return helperprotocol::Reply::pong();
    case Kind::chromeWebRTCOn:
      return replyFor(configureChromeWebRTC(true, config_.chrome));
    case Kind::chromeWebRTCOff:
      return replyFor(configureChromeWebRTC(false, config_.chrome));
    case Kind::runCommandLine: {
      auto lock = takeCommandLock(config_.commandLock, config_.earlierLineWait);
      if (!lock) return replyFor(lock.error());
      Outcome ran = runCommandLine(action.commandLine, config_.shell, lock->fd());
      // The line's changes are made; its reply is not yet written.
      platform::crashPoint("command line ran");
      return replyFor(ran);
    }
    case Kind::invalid:
      break;
  }
  return helperprotocol::Reply::failure(std::string(helperprotocol::kInvalidCommandText));
}

}  // namespace tavlune::helperd
