// What a framed request asks the daemon to do, decided before anything runs.
#pragma once

#include <string>

#include "helperprotocol/framing.h"

namespace tavlune::helperd {

struct Action {
  enum class Kind { invalid, ping, chromeWebRTCOn, chromeWebRTCOff, runCommandLine };
  Kind kind = Kind::invalid;
  std::string commandLine;  // for runCommandLine: a line that passed the command test
};

// No message, a time-out, text that is not a JSON object with a string
// "command", or a command that is neither fixed nor an allowed networksetup
// line: invalid. The fixed commands match exactly, without trimming.
Action classifyRequest(const helperprotocol::FramedMessage& framed);

}  // namespace tavlune::helperd
