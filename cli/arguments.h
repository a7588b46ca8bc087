// The command line of `tavlune`, read into what is to be done.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "channel/encodable_value.h"
#include "cli/invocation.h"
#include "platform/result.h"

namespace tavlune::cli {

// A usage error is a message for the person at the terminal.
Expected<Invocation, std::string> parseArguments(const std::vector<std::string>& arguments);

// The arguments of "connectProxy"; password is the one read from standard
// input when the options ask for that. Called without it first, it refuses
// everything it can before anything is read: also a host that cannot be one
// (empty, with white space or control characters, or longer than a host
// name can be), which the application would only pass on to fail later.
Expected<channel::EncodableMap, std::string> connectArguments(const ConnectOptions& options,
                                                              const std::optional<std::string>& password);

// A password given in the URL or with --password: every local user can read
// it in the process list.
bool passwordOnCommandLine(const ConnectOptions& options);

// The help text of a command ("" for the overview); empty when there is no such command.
std::string helpText(const std::string& topic);

}  // namespace tavlune::cli
