// The pieces shared by the connect and restore command lines: the switch-off
// block and the joining of invocations into lines
// (helperprotocol/networksetup_invocations.h writes each invocation).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tavlune::sysproxy::networksetup {

// The five commands that switch every kind of proxy of one service off.
void appendSwitchOffBlock(std::vector<std::string>& commands, const std::string& quotedService);

std::string joined(const std::vector<std::string>& commands);

// The same commands joined into as few lines as keep each under
// maxCharacters bytes (never fewer than the characters the helper counts),
// cut only between commands; a command as long as that stands alone. Run
// one after the other, stopping at the first that fails, they do what the
// one joined line does.
std::vector<std::string> joinedLines(const std::vector<std::string>& commands, std::size_t maxCharacters);

}  // namespace tavlune::sysproxy::networksetup
