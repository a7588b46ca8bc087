// One line of what to do next after an error reply, by its code. The
// application's own message is printed as it came; this only follows it.
#pragma once

#include <string>

namespace tavlune::cli {

// command is tavlune's command ("connect", "inspect", ...); empty when there is no hint.
std::string errorHint(const std::string& command, const std::string& code);

// When a connect is refused with EXISTING_PROXY_ACTIVE because Tavlune itself
// is connected; summary is connectionSummary() of that connection.
std::string alreadyConnectedText(const std::string& summary);

}  // namespace tavlune::cli
