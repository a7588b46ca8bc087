#include "helperclient/helper_client.h"

#include "helperclient/exchange_deadline.h"
#include "helperprotocol/framing.h"
#include "platform/crash_point.h"
#include "platform/socket/unix_socket.h"

namespace tavlune::helperclient {
namespace {

using model::MacProxyError;
using platform::json::Json;

HelperFailure failed(const char* message, bool handedOver) {
  return HelperFailure{MacProxyError::commandFailed(message), handedOver};
}

}  // namespace

HelperResult<Json> HelperClient::sendHelperCommand(const std::string& command) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + exchangeDeadline(command);
  auto request = helperprotocol::encodeRequest(helperprotocol::Request{command});
  if (!request) return unexpected(HelperFailure{request.error(), false});

  sockaddr_un address = helperprotocol::makeAddress(socketPath_);
  auto connection =
      platform::connectStreamSocket(address, helperprotocol::kAddressLength, exchangeDeadline(command));
  if (!connection) return unexpected(failed("Unable to contact the proxy helper.", false));

  // From here on the helper may act on the request, whatever comes back.
  auto written = platform::sendAll(connection->get(), *request);
  // A ping changes nothing, so dying after it is dying before the next step.
  if (command != helperprotocol::kPingCommand) platform::crashPoint("helper request handed over");
  // A daemon that refuses a peer answers at once and closes without reading,
  // so the write can fail with its reason already waiting to be read.
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  auto framed = helperprotocol::readMessage(connection->get(), static_cast<int>(std::max<long long>(left.count(), 1)));
  if (framed.outcome == helperprotocol::FramingOutcome::timedOut)
    return unexpected(failed("The proxy helper did not answer in time.", true));
  if (framed.outcome != helperprotocol::FramingOutcome::message) {
    if (!written) return unexpected(failed("The proxy helper connection closed.", true));
    return unexpected(failed("The proxy helper returned no response.", true));
  }
  auto reply = platform::json::parse(framed.bytes);
  if (!reply) return unexpected(HelperFailure{reply.error(), true});
  if (!reply->is_object()) return unexpected(failed("The proxy helper returned an invalid response.", true));

  auto ok = reply->find("ok");
  if (ok != reply->end() && ok->is_boolean() && ok->get<bool>()) return std::move(*reply);
  auto error = reply->find("error");
  if (error != reply->end() && error->is_string())
    return unexpected(HelperFailure{MacProxyError::commandFailed(error->get<std::string>()), true});
  return unexpected(failed("The proxy helper rejected the request.", true));
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
