#include "helperclient/exchange_deadline.h"

#include "helperprotocol/protocol.h"

namespace tavlune::helperclient {

std::size_t invocationCount(std::string_view command) {
  std::size_t count = 0;
  for (std::size_t at = command.find(helperprotocol::kToolPath); at != std::string_view::npos;
       at = command.find(helperprotocol::kToolPath, at + 1))
    ++count;
  return count;
}

std::chrono::milliseconds exchangeDeadline(std::string_view command) {
  if (command == helperprotocol::kPingCommand) return kPingDeadline;
  const std::size_t invocations = invocationCount(command);
  if (invocations == 0) return kFixedCommandDeadline;
  return kCommandLineDeadline + kPerInvocationDeadline * static_cast<long>(invocations);
}

}  // namespace tavlune::helperclient
