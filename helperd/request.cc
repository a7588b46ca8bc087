#include "helperd/request.h"

#include "helperprotocol/protocol.h"
#include "helperd/allowed_command_lines.h"

namespace tavlune::helperd {

Action classifyRequest(const helperprotocol::FramedMessage& framed) {
  using Kind = Action::Kind;
  if (framed.outcome != helperprotocol::FramingOutcome::message) return {};
  auto request = helperprotocol::decodeRequest(framed.bytes);
  if (!request) return {};
  const std::string& command = request->command;
  if (command == helperprotocol::kPingCommand) return {Kind::ping, {}};
  if (command == helperprotocol::kChromeWebRTCOnCommand) return {Kind::chromeWebRTCOn, {}};
  if (command == helperprotocol::kChromeWebRTCOffCommand) return {Kind::chromeWebRTCOff, {}};
  if (!isAllowedCommandLine(command)) return {};
  return {Kind::runCommandLine, std::move(request->command)};
}

}  // namespace tavlune::helperd
