#include "cli/command_table.h"

#include <algorithm>

#include "cli/proxy_url.h"
#include "cli/tavlune_command.h"
#include "channel/socket_messenger_path.h"
#include "frontendprotocol/channels.h"
#include "frontendprotocol/proxy_protocols.h"
#include "tavlune_version.h"

namespace tavlune::cli {

const char* const kOverview =
    "Drives a running TavluneDesktop over its channel socket,\n"
    "$HOME/Library/Application Support/Tavlune/channel.sock.";

namespace {

// A connect waits through the proxy checks (up to about six minutes for a
// SOCKS5 proxy that never answers), a first helper installation and the
// person approving it.
constexpr int kConnectSeconds = 600;
// A change may wait for a helper installation and its approval.
constexpr int kChangeSeconds = 120;
// Queries are answered at once by a live application.
constexpr int kQuerySeconds = 10;
constexpr int kHelperSeconds = 5;

// The proxy as connect and check take it.
std::vector<OptionSpec> proxyOptions() {
  return {{"--host", "", "HOST", "proxy host name or address", {}, &ConnectOptions::host},
          {"--port", "", "PORT", "proxy port, 1 to 65535", {}, &ConnectOptions::port},
          {"--protocol", "", "PROTOCOL", "http, https, socks4 or socks5 (default http)",
           {frontendprotocol::kProxyProtocols.begin(), frontendprotocol::kProxyProtocols.end()},
           &ConnectOptions::protocol},
          {"--username", "", "USER", "user name for the proxy", {}, &ConnectOptions::username},
          {"--password", "", "PASSWORD",
           "password for the proxy (visible to other users in\nthe process list; prefer --password-stdin)",
           {},
           &ConnectOptions::password},
          {"--password-stdin", "", "", "read the password from the first line of standard input\n(on a terminal: a prompt that does not echo)"}};
}

std::vector<OptionSpec> withWebRtcOption(std::vector<OptionSpec> options) {
  options.push_back({"--no-webrtc-protection", "", "", "leave Chrome's WebRTC policy off while connected"});
  return options;
}

// How the proxy is written, for connect and check alike.
constexpr const char* kProxyWords =
    "PROTOCOL is http, https, socks4 or socks5; without it the proxy is an\n"
    "HTTP proxy, as with curl's -x. Write an IPv6 address in brackets:\n"
    "http://[::1]:3128. A password needs a user name; give it at the prompt\n"
    "(--password-stdin): in the URL or with --password, every user of the\n"
    "machine can read it in the process list. In the URL, percent-encode\n"
    "reserved characters of the user name and password (%40 for @, %3A for :).";

std::vector<CommandSpec> buildCommands() {
  return {
      {Command::connect,
       "connect",
       "point the system proxy at a proxy, after checking it works",
       {"connect [PROTOCOL://][USER[:PASSWORD]@]HOST:PORT [OPTIONS]",
        "connect --host HOST --port PORT [--protocol PROTOCOL] [OPTIONS]"},
       std::string("Checks that the proxy carries traffic, then points every enabled network\n"
                   "service at it. This takes a few seconds; the first connect also installs\n"
                   "TavluneDesktop's helper, after an administrator approves.\n") +
           kProxyWords +
           "\n"
           "\n"
           "The progress line says where the connect stands. While the proxy is\n"
           "being checked nothing has been changed, and Ctrl-C cancels the connect.\n"
           "Once the settings are being applied Ctrl-C cannot stop it: tavlune says\n"
           "so and waits for its outcome. Ctrl-C again asks for the connect to be\n"
           "undone (a disconnect) as soon as it has finished; a third Ctrl-C stops\n"
           "waiting and leaves the outcome as it comes. While another connect is\n"
           "under way, connect says so and does nothing.",
       {{"Proxy", withWebRtcOption(proxyOptions())},
        {"Description kept with the connection",
         {{"--type", "", "TYPE", "connection type (default \"manual\")", {}, &ConnectOptions::connectionType},
          {"--profile-id", "", "ID", "profile identifier", {}, &ConnectOptions::profileId},
          {"--session-id", "", "NUMBER", "session number", {}, &ConnectOptions::sessionId},
          {"--country-code", "", "CODE", "country code", {}, &ConnectOptions::countryCode},
          {"--country", "", "NAME", "country name", {}, &ConnectOptions::country},
          {"--state", "", "NAME", "region name", {}, &ConnectOptions::state},
          {"--city", "", "NAME", "city name", {}, &ConnectOptions::city}}}},
       {},
       kConnectSeconds},
      {Command::check,
       "check",
       "check that a proxy works, changing nothing",
       {"check [PROTOCOL://][USER[:PASSWORD]@]HOST:PORT [OPTIONS]",
        "check --host HOST --port PORT [--protocol PROTOCOL] [OPTIONS]"},
       std::string("Checks the proxy as connect does, and shows what inspect shows: the exit\n"
                   "address, its country, region and city, the network operator and the\n"
                   "speed. Nothing else happens: no setting, record or helper is touched.\n"
                   "Exit status 1 when the proxy does not work.\n") +
           kProxyWords +
           "\n"
           "\n"
           "Ctrl-C cancels the check.",
       {{"Proxy", proxyOptions()}},
       {},
       kConnectSeconds},
      {Command::disconnect,
       "disconnect",
       "put the system proxy settings back",
       {"disconnect"},
       "Puts back the system proxy settings recorded when the proxy was connected,\n"
       "and switches Chrome's WebRTC protection off. While nothing is connected it\n"
       "says so and changes nothing. Ctrl-C stops waiting; the disconnect itself\n"
       "goes on in TavluneDesktop.",
       {},
       {},
       kChangeSeconds},
      {Command::status,
       "status",
       "show what the machine is connected through",
       {"status [--quiet | --system]"},
       "Shows whether a Tavlune proxy is connected and, when it is, the proxy\n"
       "(protocol, host and port), the network services pointed at it, since when\n"
       "(in the local time zone), whether Chrome's WebRTC protection is on, and\n"
       "what was recorded with the connection; during a connect, where it stands.\n"
       "A connection the system no longer shows is reported as not connected,\n"
       "and TavluneDesktop tidies it up.",
       {{"Status",
         {{"--quiet", "-q", "", "print nothing; exit status 0 when connected, 1 when not"},
          {"--system", "", "",
           "show the proxy settings in force instead, connected or not:\nof every enabled network service (web, secure web, SOCKS,\n"
           "automatic configuration and discovery, bypass list) and\nthe live ones macOS uses"}}}},
       {},
       kQuerySeconds},
      {Command::inspect,
       "inspect",
       "show the exit address, location, network and speed of the proxy",
       {"inspect"},
       "Shows what the check of the connected proxy found: the exit address, its\n"
       "country, region and city, the network operator and the measured speed.",
       {},
       {},
       kQuerySeconds},
      {Command::webrtc,
       "webrtc",
       "switch Chrome's WebRTC protection on or off",
       {"webrtc on|off"},
       "Switches Chrome's managed policy that keeps WebRTC traffic inside the\n"
       "proxy. The protection follows the connection: while no proxy is connected\n"
       "nothing changes, and tavlune says so (exit status 1). To connect without\n"
       "it, use connect --no-webrtc-protection.",
       {},
       {"on", "off"},
       kChangeSeconds},
      {Command::helper,
       "helper",
       "show TavluneDesktop's privileged helper, or uninstall it",
       {"helper [status]", "helper uninstall"},
       "status (the default) shows whether the privileged helper that changes the\n"
       "system proxy settings is installed (its program and launchd job), whether\n"
       "it answers this user, and its version. TavluneDesktop installs it at the\n"
       "first connect and never removes it.\n"
       "\n"
       "uninstall is for an administrator (root): it stops the launchd job and\n"
       "removes the program, the job file and the socket. Disconnect first: the\n"
       "next change installs the helper again, after another approval.",
       {},
       {"status", "uninstall"},
       kHelperSeconds},
      {Command::call,
       "call",
       "send any method call and print its reply",
       {"call METHOD [JSON]"},
       std::string("Sends METHOD with the JSON value as its arguments (none when left out) on\n"
                   "the channel \"") +
           frontendprotocol::vpn::kChannel +
           "\" and prints the reply as JSON. Whole\n"
           "numbers are sent as 32-bit integers when they fit, else as 64-bit ones.\n"
           "\n"
           "Example: tavlune call setWebRtcProtection '{\"enabled\": false}'",
       {},
       {},
       kConnectSeconds},
      {Command::quit,
       "quit",
       "ask TavluneDesktop to quit, and wait until it has",
       {"quit"},
       "Asks TavluneDesktop to quit. It first takes back the system proxy settings,\n"
       "after anything already under way; this waits until it has ended.",
       {},
       {},
       kConnectSeconds},
      {Command::help,
       "help",
       "show the help of a command",
       {"help [COMMAND]"},
       "Shows the help of COMMAND, or the overview of all commands.",
       {},
       {},
       0},
  };
}

std::vector<OptionSpec> buildGlobalOptions() {
  return {
      {"--json", "", "", "print replies as JSON on standard output"},
      {"--timeout", "", "SECONDS",
       "stop waiting for TavluneDesktop after SECONDS (each\ncommand has its own default, given in its help)"},
      {"--help", "-h", "", "show help; \"tavlune COMMAND --help\" for a command"},
      {"--version", "", "", "show tavlune's version"},
      {kEndOfOptions, "", "", "end of options: all that follows is an operand"},
  };
}

// Optimal string alignment distance: edits, with a swap of neighbours as one.
size_t editDistance(const std::string& a, const std::string& b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace

const std::vector<CommandSpec>& commands() {
  static const std::vector<CommandSpec> table = buildCommands();
  return table;
}

const CommandSpec* findCommand(const std::string& name) {
  for (const auto& command : commands())
    if (command.name == name) return &command;
  return nullptr;
}

std::vector<std::string> commandNames() {
  std::vector<std::string> names;
  for (const auto& command : commands()) names.push_back(command.name);
  return names;
}

std::string oneLine(std::string text) {
  for (char& c : text)
    if (c == '\n') c = ' ';
  return text;
}

const std::vector<OptionSpec>& globalOptions() {
  static const std::vector<OptionSpec> options = buildGlobalOptions();
  return options;
}

const OptionSpec* findOption(const CommandSpec* command, const std::string& nameOrAlias) {
  auto matches = [&](const OptionSpec& option) {
    return option.name == nameOrAlias || (!option.alias.empty() && option.alias == nameOrAlias);
  };
  for (const auto& option : globalOptions())
    if (matches(option)) return &option;
  if (!command) return nullptr;
  for (const auto& group : command->groups)
    for (const auto& option : group.options)
      if (matches(option)) return &option;
  return nullptr;
}

std::vector<std::string> optionNames(const CommandSpec* command) {
  std::vector<std::string> names;
  for (const auto& option : globalOptions()) names.push_back(option.name);
  if (command)
    for (const auto& group : command->groups)
      for (const auto& option : group.options) names.push_back(option.name);
  return names;
}

const std::vector<TextRow>& examples() {
  static const std::vector<TextRow> rows = {
      {"tavlune connect socks5://me@proxy.example:1080 --password-stdin",
       "connect through a SOCKS5 proxy with a login, the password asked for at a prompt"},
      {"tavlune check http://10.0.0.2:3128", "check an HTTP proxy without connecting"},
      {"tavlune status", "what the machine is connected through"},
      {"tavlune status --quiet && echo connected", "a script's test"},
      {"tavlune status --system", "the proxy settings in force, whoever set them"},
      {"tavlune --json inspect", "the connected proxy's exit address and location, as JSON"},
      {"tavlune disconnect", "put the settings back"},
  };
  return rows;
}

const std::vector<TextRow>& environment() {
  static const std::vector<TextRow> rows = {
      {"HOME", "the home folder that holds TavluneDesktop's channel socket and records; the\nsame for both"},
      {"TERM", "whether the progress line is redrawn in place (unset or \"dumb\": written as\na line of its own whenever it changes)"},
      {"TZ", "the time zone that times are shown in"},
  };
  return rows;
}

const std::vector<TextRow>& files() {
  static const std::vector<TextRow> rows = {
      {"$HOME/" + std::string(channel::kChannelFolder) + "/" + channel::kChannelSocketName,
       "the channel socket of the user's TavluneDesktop"},
      // Where the user defaults of the bundle identifier live, on macOS as here.
      {"$HOME/Library/Preferences/" + std::string(kBundleIdentifier) + ".plist",
       "TavluneDesktop's records of a connection, read while it is not running\n(with the network settings in force) to say what it left"},
  };
  return rows;
}

const std::vector<ExitStatusRow>& exitStatuses() {
  static const std::vector<ExitStatusRow> rows = {
      {kExitDone, "done"},
      {kExitErrorReply,
       "not done: TavluneDesktop answered with an error, there was\nnothing to act on, or the output could not be written;\n"
       "for status --quiet: not connected"},
      {kExitUsage, "the command line was wrong"},
      {kExitUnreachable, "TavluneDesktop could not be reached"},
      {kExitTimedOut, "no answer in time (--timeout); the request may still be\ncarried out"},
      {kExitInterrupted, "stopped by Ctrl-C, or a connect or check cancelled by it"},
  };
  return rows;
}

std::string closestMatch(const std::string& typed, const std::vector<std::string>& candidates) {
  std::string best;
  size_t bestDistance = 3;  // at most two slips
  size_t prefixMatches = 0;
  std::string prefixMatch;
  for (const auto& candidate : candidates) {
    if (typed.size() >= 2 && candidate.rfind(typed, 0) == 0) {
      ++prefixMatches;
      prefixMatch = candidate;
    }
    const size_t distance = editDistance(typed, candidate);
    // A slip is only a slip in a word long enough to still be recognised.
    if (distance < bestDistance && distance * 2 < candidate.size()) {
      bestDistance = distance;
      best = candidate;
    }
  }
  if (!best.empty()) return best;
  return prefixMatches == 1 ? prefixMatch : std::string();
}

}  // namespace tavlune::cli
