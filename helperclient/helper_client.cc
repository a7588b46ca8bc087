#include "helperclient/helper_client.h"

#include <thread>

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

bool isCurrentPong(const Json& reply) {
  auto version = reply.find("version");
  // A number equal to the version: 2.0 counts as 2, "2" does not.
  return version != reply.end() && version->is_number() &&
         platform::json::wholeNumber(*version) == helperprotocol::kHelperVersion;
}

}  // namespace

HelperClient::Attempt HelperClient::attempt(const std::string& command, std::chrono::milliseconds limit) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + limit;
  auto request = helperprotocol::encodeRequest(helperprotocol::Request{command});
  if (!request) return {Reach::noSocket, unexpected(HelperFailure{request.error(), false})};

  sockaddr_un address = helperprotocol::makeAddress(socketPath_);
  auto connection = platform::connectStreamSocket(address, helperprotocol::kAddressLength, limit);
  if (!connection) {
    using platform::ErrorCode;
    const ErrorCode code = connection.error().code;
    // A full listen queue makes connect wait, here until the limit.
    const Reach reach = code == ErrorCode::notFound || code == ErrorCode::notDirectory ? Reach::noSocket
                        : code == ErrorCode::timedOut                                  ? Reach::noAnswer
                                                                                       : Reach::refused;
    return {reach, unexpected(failed("Unable to contact the proxy helper.", false))};
  }

  // From here on the helper may act on the request, whatever comes back.
  auto written = platform::sendAll(connection->get(), *request);
  // A ping changes nothing, so dying after it is dying before the next step.
  if (command != helperprotocol::kPingCommand) platform::crashPoint("helper request handed over");
  // A daemon that refuses a peer answers at once and closes without reading,
  // so the write can fail with its reason already waiting to be read.
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  auto framed = helperprotocol::readMessage(connection->get(), static_cast<int>(std::max<long long>(left.count(), 1)));
  if (framed.outcome == helperprotocol::FramingOutcome::timedOut)
    return {Reach::noAnswer, unexpected(failed("The proxy helper did not answer in time.", true))};
  if (framed.outcome != helperprotocol::FramingOutcome::message) {
    if (!written) return {Reach::closed, unexpected(failed("The proxy helper connection closed.", true))};
    return {Reach::closed, unexpected(failed("The proxy helper returned no response.", true))};
  }
  auto reply = platform::json::parse(framed.bytes);
  if (!reply) return {Reach::answered, unexpected(HelperFailure{reply.error(), true})};
  if (!reply->is_object())
    return {Reach::answered, unexpected(failed("The proxy helper returned an invalid response.", true))};

  auto ok = reply->find("ok");
  if (ok != reply->end() && ok->is_boolean() && ok->get<bool>()) return {Reach::answered, std::move(*reply)};
  auto error = reply->find("error");
  if (error != reply->end() && error->is_string())
    return {Reach::answered, unexpected(HelperFailure{MacProxyError::commandFailed(error->get<std::string>()), true})};
  return {Reach::answered, unexpected(failed("The proxy helper rejected the request.", true))};
}

HelperResult<Json> HelperClient::sendHelperCommand(const std::string& command) {
  return attempt(command, exchangeDeadline(command)).result;
}

bool HelperClient::helperIsAvailable() {
  auto reply = sendHelperCommand(std::string(helperprotocol::kPingCommand));
  return reply && isCurrentPong(*reply);
}

HelperPresence HelperClient::probe() {
  constexpr std::chrono::milliseconds kRefusedPause{100};
  const auto restartEnd = std::chrono::steady_clock::now() + patience_.restart;
  for (;;) {
    Attempt pinged = attempt(std::string(helperprotocol::kPingCommand), patience_.busy);
    switch (pinged.reach) {
      case Reach::noSocket:
        return HelperPresence::missing;
      case Reach::refused:
      case Reach::closed:
        // A socket file nobody accepts on, or a connection dropped unanswered:
        // a helper that died and that launchd is starting again, or one gone
        // for good.
        if (std::chrono::steady_clock::now() >= restartEnd) return HelperPresence::missing;
        std::this_thread::sleep_for(kRefusedPause);
        continue;
      case Reach::noAnswer:
        return HelperPresence::unresponsive;
      case Reach::answered:
        return pinged.result && isCurrentPong(*pinged.result) ? HelperPresence::current : HelperPresence::other;
    }
  }
}

}  // namespace tavlune::helperclient
