#include "helperprotocol/exchange.h"

#include <algorithm>

#include "helperprotocol/framing.h"
#include "helperprotocol/protocol.h"
#include "platform/socket/unix_socket.h"

namespace tavlune::helperprotocol {

Exchange exchange(std::string_view socketPath, std::string_view requestLine, std::chrono::milliseconds limit,
                  const std::function<void()>& handedOver) {
  using Clock = std::chrono::steady_clock;
  using platform::ErrorCode;
  const auto deadline = Clock::now() + limit;
  Exchange result;
  // A full listen queue makes connect wait, here until the limit.
  auto connection = platform::connectStreamSocket(makeAddress(socketPath), kAddressLength, limit);
  if (!connection) {
    const ErrorCode code = connection.error().code;
    result.reach = code == ErrorCode::notFound || code == ErrorCode::notDirectory ? Reach::noSocket
                   : code == ErrorCode::timedOut                                  ? Reach::noAnswer
                                                                                  : Reach::refused;
    result.connectError = connection.error();
    return result;
  }
  result.requestWritten = platform::sendAll(connection->get(), requestLine).has_value();
  if (handedOver) handedOver();
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  auto framed = readMessage(connection->get(), static_cast<int>(std::max<long long>(left.count(), 1)));
  switch (framed.outcome) {
    case FramingOutcome::timedOut: result.reach = Reach::noAnswer; break;
    case FramingOutcome::noMessage: result.reach = Reach::closed; break;
    case FramingOutcome::message:
      result.reach = Reach::answered;
      result.reply = std::move(framed.bytes);
      break;
  }
  return result;
}

}  // namespace tavlune::helperprotocol
