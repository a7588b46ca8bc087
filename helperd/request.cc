#include "helperd/request.h"

#include "helperclient/protocol.h"
#include "helperd/command_test.h"

namespace tavlune::helperd {

Action classifyRequest(const helper::FramedMessage& framed) {
  using Kind = Action::Kind;
  if (framed.outcome != helper::FramingOutcome::message) return {};
  auto request = helper::decodeRequest(framed.bytes);
  if (!request) return {};
  const std::string& command = request->command;
  if (command == helper::kPingCommand) return {Kind::ping, {}};
  if (command == helper::kChromeWebRTCOnCommand) return {Kind::chromeWebRTCOn, {}};
  if (command == helper::kChromeWebRTCOffCommand) return {Kind::chromeWebRTCOff, {}};
  if (!isAllowedCommandLine(command)) return {};
  return {Kind::runCommandLine, std::move(request->command)};
}

}  // namespace tavlune::helperd
