#include "helperclient/helper_client.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "helperprotocol/framing.h"
#include "helperprotocol/protocol.h"

namespace tavlune::helperclient {
namespace {

using model::MacProxyError;

using platform::json::Json;

class Connection {
 public:
  explicit Connection(int fd) : fd_(fd) {}
  ~Connection() {
    if (fd_ >= 0) close(fd_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

MacProxyError failed(const char* message) { return MacProxyError::commandFailed(message); }

}  // namespace

ManagerResult<void> HelperClient::writeSocket(const std::string& data, int fd) {
  std::size_t offset = 0;
  while (offset < data.size()) {
    // MSG_NOSIGNAL: a closed daemon must end this exchange, not the application.
    ssize_t written = send(fd, data.data() + offset, data.size() - offset, MSG_NOSIGNAL);
    if (written < 0 && errno == EINTR) continue;
    if (written < 1) return unexpected(failed("The proxy helper connection closed."));
    offset += std::size_t(written);
  }
  return {};
}

std::optional<std::string> HelperClient::readSocketLine(int fd) {
  auto framed = helperprotocol::readMessage(fd);
  if (framed.outcome != helperprotocol::FramingOutcome::message) return std::nullopt;
  return std::move(framed.bytes);
}

ManagerResult<Json> HelperClient::sendHelperCommand(const std::string& command) {
  Connection connection(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (connection.fd() < 0) return unexpected(failed("Unable to contact the proxy helper."));
  sockaddr_un address = helperprotocol::makeAddress(socketPath_);
  int connected;
  do {
    connected = connect(connection.fd(), reinterpret_cast<const sockaddr*>(&address), helperprotocol::kAddressLength);
  } while (connected != 0 && errno == EINTR);
  if (connected != 0) return unexpected(failed("Unable to contact the proxy helper."));

  auto request = helperprotocol::encodeRequest(helperprotocol::Request{command});
  if (!request) return unexpected(request.error());
  auto written = writeSocket(*request, connection.fd());
  // A daemon that refuses a peer answers at once and closes without reading,
  // so the write can fail with its reason already waiting to be read.
  auto line = readSocketLine(connection.fd());
  if (!written && !line) return unexpected(written.error());
  if (!line) return unexpected(failed("The proxy helper returned no response."));
  auto reply = platform::json::parse(*line);
  if (!reply) return unexpected(reply.error());
  if (!reply->is_object()) return unexpected(failed("The proxy helper returned an invalid response."));

  auto ok = reply->find("ok");
  if (ok != reply->end() && ok->is_boolean() && ok->get<bool>()) return std::move(*reply);
  auto error = reply->find("error");
  if (error != reply->end() && error->is_string())
    return unexpected(MacProxyError::commandFailed(error->get<std::string>()));
  return unexpected(failed("The proxy helper rejected the request."));
}

bool HelperClient::helperIsAvailable() {
  auto reply = sendHelperCommand(std::string(helperprotocol::kPingCommand));
  if (!reply) return false;
  auto version = reply->find("version");
  // A number equal to the version: 2.0 counts as 2, "2" does not.
  return version != reply->end() && version->is_number() &&
         platform::json::wholeNumber(*version) == helperprotocol::kHelperVersion;
}

}  // namespace tavlune::helperclient
