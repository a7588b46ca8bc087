// The command line of `tavlune`, read into what is to be done.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "channel/encodable_value.h"
#include "platform/result.h"

namespace tavlune::cli {

enum class Command { help, version, connect, check, disconnect, status, inspect, webrtc, helper, call, quit };

struct ConnectOptions {
  std::optional<std::string> url;
  std::optional<std::string> host, port, protocol, username, password;
  bool passwordFromStandardInput = false;
  std::optional<std::string> connectionType, profileId, sessionId, countryCode, country, state, city;
  bool webRtcProtection = true;
};

struct Invocation {
  Command command = Command::help;
  std::string commandName;  // as the command table names it
  bool json = false;
  // --timeout; absent: the command's own default.
  std::optional<double> timeoutSeconds;
  // For help: the command whose help to show; empty for the overview.
  std::string helpTopic;
  ConnectOptions connect;  // connect's and check's
  bool quiet = false, system = false;  // status's
  bool webRtcOn = true;
  bool helperUninstall = false;
  std::string method;
  std::optional<std::string> jsonArguments;
};

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
