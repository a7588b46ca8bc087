// What a `tavlune` command line asks for, once the parser has read it.
#pragma once

#include <optional>
#include <string>

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

}  // namespace tavlune::cli
