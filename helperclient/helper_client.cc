#include "helperclient/helper_client.h"

#include <thread>

#include "helperprotocol/exchange.h"
#include "platform/crash_point.h"

namespace tavlune::helperclient {
namespace {

using helperprotocol::Reach;
using model::MacProxyError;

HelperFailure failed(const char* message, bool handedOver) {
  return HelperFailure{MacProxyError::commandFailed(message), handedOver};
}

bool isCurrentPong(const helperprotocol::Reply& reply) { return reply.version == helperprotocol::kHelperVersion; }

}  // namespace

HelperClient::Attempt HelperClient::attempt(const std::string& command, std::chrono::milliseconds limit) {
  auto request = helperprotocol::encodeRequest(helperprotocol::Request{command});
  if (!request) return {Reach::noSocket, unexpected(HelperFailure{request.error(), false})};

  // A ping changes nothing, so dying after it is dying before the next step.
  auto exchanged = helperprotocol::exchange(socketPath_, *request, limit, [&] {
    if (command != helperprotocol::kPingCommand) platform::crashPoint("helper request handed over");
  });
  switch (exchanged.reach) {
    case Reach::noSocket:
    case Reach::refused:
      return {exchanged.reach, unexpected(failed("Unable to contact the proxy helper.", false))};
    case Reach::noAnswer:
      // Connect itself may have run out of time: then nothing was handed over.
      if (exchanged.connectError)
        return {exchanged.reach, unexpected(failed("Unable to contact the proxy helper.", false))};
      return {exchanged.reach, unexpected(failed("The proxy helper did not answer in time.", true))};
    case Reach::closed:
      if (!exchanged.requestWritten)
        return {exchanged.reach, unexpected(failed("The proxy helper connection closed.", true))};
      return {exchanged.reach, unexpected(failed("The proxy helper returned no response.", true))};
    case Reach::answered:
      break;
  }
  auto reply = helperprotocol::decodeReply(exchanged.reply);
  if (!reply) return {Reach::answered, unexpected(HelperFailure{reply.error(), true})};
  if (!*reply) return {Reach::answered, unexpected(failed("The proxy helper returned an invalid response.", true))};
  if ((*reply)->ok) return {Reach::answered, std::move(**reply)};
  if ((*reply)->error)
    return {Reach::answered, unexpected(HelperFailure{MacProxyError::commandFailed(*(*reply)->error), true})};
  return {Reach::answered, unexpected(failed("The proxy helper rejected the request.", true))};
}

HelperResult<helperprotocol::Reply> HelperClient::sendHelperCommand(const std::string& command) {
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
