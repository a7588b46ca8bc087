#include "cli/arguments.h"

#include <charconv>
#include <cstdlib>
#include <limits>

#include "cli/command_table.h"
#include "cli/proxy_url.h"
#include "frontendprotocol/keys.h"
#include "frontendprotocol/proxy_protocols.h"

namespace tavlune::cli {
namespace {

using channel::EncodableMap;
using channel::EncodableValue;
using namespace frontendprotocol;  // the channel's keys and protocols

using Usage = Expected<Invocation, std::string>;

// Decimal digits with an optional sign, within range.
std::optional<int64_t> wholeNumber(const std::string& text) {
  std::string_view digits = text;
  if (digits.starts_with('+') && digits.size() > 1 && digits[1] != '-') digits.remove_prefix(1);
  int64_t value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

std::string suggestion(const std::string& typed, const std::vector<std::string>& candidates) {
  const std::string match = closestMatch(typed, candidates);
  return match.empty() ? std::string() : " (did you mean '" + match + "'?)";
}

// A lone "-" or a negative number is an operand; so is everything after "--".
bool looksLikeOption(const std::string& argument) {
  return argument.size() >= 2 && argument[0] == '-' && !(argument[1] >= '0' && argument[1] <= '9');
}

std::optional<double> seconds(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !(value > 0) || value > 7 * 24 * 3600) return std::nullopt;
  return value;
}

}  // namespace

Expected<Invocation, std::string> parseArguments(const std::vector<std::string>& arguments) {
  Invocation invocation;
  const CommandSpec* command = nullptr;
  std::vector<std::string> positional;
  ConnectOptions& connect = invocation.connect;
  bool optionsEnded = false;
  auto seeHelp = [&] {
    return command ? "see tavlune " + command->name + " --help" : std::string("see tavlune --help");
  };

  for (size_t i = 0; i < arguments.size(); ++i) {
    std::string argument = arguments[i];
    if (optionsEnded || !looksLikeOption(argument)) {
      if (command) {
        positional.push_back(argument);
        continue;
      }
      command = findCommand(argument);
      if (!command)
        return unexpected("unknown command '" + argument + "'" + suggestion(argument, commandNames()) +
                          "; see tavlune --help");
      invocation.command = command->command;
      invocation.commandName = command->name;
      continue;
    }
    if (argument == kEndOfOptions) {
      optionsEnded = true;
      continue;
    }
    std::optional<std::string> inlineValue;
    if (size_t equals = argument.find('='); equals != std::string::npos) {
      inlineValue = argument.substr(equals + 1);
      argument.resize(equals);
    }
    const OptionSpec* option = findOption(command, argument);
    if (!option)
      return unexpected("unknown option '" + argument + "'" + (command ? " for " + command->name : "") +
                        suggestion(argument, optionNames(command)) + "; " + seeHelp());
    const std::string& name = option->name;
    if (option->value.empty() && inlineValue) return unexpected(name + " takes no value; " + seeHelp());
    std::string value;
    if (!option->value.empty()) {
      if (!inlineValue && i + 1 == arguments.size()) return unexpected(name + " needs a value");
      value = inlineValue ? *inlineValue : arguments[++i];
    }

    if (name == "--help") {
      invocation.command = Command::help;
      invocation.helpTopic = command && command->name != "help" ? command->name : "";
      return invocation;
    }
    if (name == "--version") {
      invocation.command = Command::version;
      return invocation;
    }
    if (name == "--json") {
      invocation.json = true;
    } else if (name == "--timeout") {
      invocation.timeoutSeconds = seconds(value);
      if (!invocation.timeoutSeconds)
        return unexpected(std::string("--timeout needs a number of seconds above 0 (at most a week)"));
    } else if (name == "--password-stdin") {
      connect.passwordFromStandardInput = true;
    } else if (name == "--no-webrtc-protection") {
      connect.webRtcProtection = false;
    } else if (name == "--quiet") {
      invocation.quiet = true;
    } else if (name == "--system") {
      invocation.system = true;
    } else if (option->target) {
      connect.*(option->target) = value;
    } else {
      return unexpected("option '" + name + "' is not handled; this is a fault of tavlune");
    }
  }
  if (!command) return unexpected(std::string("no command given; see tavlune --help"));

  const std::string& name = command->name;
  auto atMost = [&](size_t count) -> std::optional<std::string> {
    if (positional.size() <= count) return std::nullopt;
    return "unexpected argument '" + positional[count] + "' for " + name + "; see tavlune " + name + " --help";
  };
  switch (invocation.command) {
    case Command::help:
      if (auto extra = atMost(1)) return unexpected(*extra);
      if (!positional.empty()) invocation.helpTopic = positional[0];
      if (helpText(invocation.helpTopic).empty())
        return unexpected("there is no command '" + invocation.helpTopic + "'" +
                          suggestion(invocation.helpTopic, commandNames()) + "; see tavlune --help");
      break;
    case Command::connect:
    case Command::check:
      if (auto extra = atMost(1)) return unexpected(*extra);
      if (!positional.empty()) connect.url = positional[0];
      if (connect.url && (connect.host || connect.port || connect.protocol))
        return unexpected(std::string("give the proxy either as a URL or with --host and --port, not both"));
      if (!connect.url && !connect.host) return unexpected(name + " needs a proxy URL or --host and --port");
      if (!connect.url && !connect.port) return unexpected(name + " needs --port");
      if (connect.password && connect.passwordFromStandardInput)
        return unexpected(std::string("give --password or --password-stdin, not both"));
      break;
    case Command::status:
      if (auto extra = atMost(0)) return unexpected(*extra);
      if (invocation.quiet && invocation.system) return unexpected(std::string("give --quiet or --system, not both"));
      break;
    case Command::webrtc:
      if (positional.size() != 1 || (positional[0] != "on" && positional[0] != "off"))
        return unexpected(std::string("webrtc needs on or off"));
      invocation.webRtcOn = positional[0] == "on";
      break;
    case Command::helper:
      if (auto extra = atMost(1)) return unexpected(*extra);
      if (!positional.empty() && positional[0] != "status" && positional[0] != "uninstall")
        return unexpected("helper takes status or uninstall, not '" + positional[0] + "'");
      invocation.helperUninstall = !positional.empty() && positional[0] == "uninstall";
      break;
    case Command::call:
      if (positional.empty()) return unexpected(std::string("call needs a method name"));
      if (auto extra = atMost(2)) return unexpected(*extra);
      invocation.method = positional[0];
      if (positional.size() == 2) invocation.jsonArguments = positional[1];
      break;
    default:
      if (auto extra = atMost(0)) return unexpected(*extra);
      break;
  }
  return invocation;
}

bool passwordOnCommandLine(const ConnectOptions& options) {
  if (options.password && !options.password->empty()) return true;
  auto url = options.url ? parseProxyUrl(*options.url) : unexpected(std::string());
  return url && !url->password.empty();
}

Expected<EncodableMap, std::string> connectArguments(const ConnectOptions& options,
                                                     const std::optional<std::string>& standardInputPassword) {
  std::string host, protocol = kDefaultProxyProtocol, username, password;
  int64_t port = 0;
  if (options.url) {
    auto url = parseProxyUrl(*options.url);
    if (!url) return unexpected("the proxy URL is not valid: " + url.error());
    host = url->host;
    port = url->port;
    protocol = url->protocol;
    username = url->username;
    password = url->password;
    if (options.username && !username.empty())
      return unexpected(std::string("the user name is given both in the URL and with --username"));
    if ((options.password || options.passwordFromStandardInput) && !password.empty())
      return unexpected(std::string("the password is given both in the URL and as an option"));
  } else {
    host = bareHost(*options.host);
    auto parsed = parsePort(*options.port);
    if (!parsed) return unexpected("--port: " + parsed.error());
    port = *parsed;
    if (options.protocol) {
      protocol = allowedProxyProtocol(*options.protocol);
      if (protocol.empty()) return unexpected(std::string("--protocol must be http, https, socks4 or socks5"));
    }
  }
  if (auto problem = hostProblem(host)) {
    // Enough of it to recognise, never the whole of a runaway one.
    std::string shown = escaped(host);
    if (shown.size() > 60) shown = shown.substr(0, 60) + "...";
    return unexpected((options.url ? std::string("the proxy URL's host '") : std::string("--host '")) + shown + "' " +
                      *problem);
  }
  if (options.username) username = *options.username;
  if (options.password) password = *options.password;
  if (options.passwordFromStandardInput && standardInputPassword) password = *standardInputPassword;
  // The application drops a password that comes without a user name.
  if (username.empty() && (!password.empty() || options.password || options.passwordFromStandardInput))
    return unexpected(std::string("a password needs a user name: give --username USER or USER:PASSWORD@ in the URL"));

  EncodableMap map;
  auto put = [&map](const char* key, EncodableValue value) { map[EncodableValue(key)] = std::move(value); };
  put(kHostKey, EncodableValue(host));
  put(kPortKey, channel::integerValue(port));
  put(kProtocolKey, EncodableValue(protocol));
  if (!username.empty()) put(kUsernameKey, EncodableValue(username));
  if (!password.empty()) put(kPasswordKey, EncodableValue(password));
  put(kWebRtcProtectionKey, EncodableValue(options.webRtcProtection));
  const std::pair<const char*, const std::optional<std::string>*> descriptive[] = {
      {kConnectionTypeKey, &options.connectionType}, {kProfileIdKey, &options.profileId},
      {kCountryCodeKey, &options.countryCode},       {kCountryKey, &options.country},
      {kStateKey, &options.state},                   {kCityKey, &options.city},
  };
  for (const auto& [key, value] : descriptive)
    if (*value) put(key, EncodableValue(**value));
  if (options.sessionId) {
    auto session = wholeNumber(*options.sessionId);
    if (!session) return unexpected(std::string("--session-id must be a whole number"));
    put(kSessionIdKey, channel::integerValue(*session));
  }
  return map;
}

}  // namespace tavlune::cli
