#include "cli/tavlune_command.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>

#include "cli/arguments.h"
#include "cli/command_table.h"
#include "cli/error_hints.h"
#include "cli/helper_command.h"
#include "cli/interrupts.h"
#include "cli/json_values.h"
#include "cli/progress_wait.h"
#include "cli/proxy_url.h"
#include "cli/reply_text.h"
#include "channel/method_reply.h"
#include "channel/socket_messenger_client.h"
#include "channel/socket_messenger_path.h"
#include "channel/standard_codec.h"
#include "tavlune_version.h"

namespace tavlune::cli {
namespace {

using channel::EncodableMap;
using channel::EncodableValue;
using channel::MethodCall;
using channel::MethodReply;
using platform::json::Json;

constexpr const char* kVpnChannel = "com.tavlune.app/vpn";
constexpr const char* kWindowChannel = "com.tavlune.app/window";

int complain(int status, const std::string& message) {
  std::fprintf(stderr, "tavlune: %s\n", message.c_str());
  return status;
}

void say(const std::string& message) { std::fprintf(stderr, "tavlune: %s\n", message.c_str()); }

void printJson(const Json& value) {
  auto text = platform::json::serialize(value);
  std::printf("%s\n", text ? text->c_str() : value.dump(-1, ' ', false, Json::error_handler_t::replace).c_str());
}

// The first line of standard input, without echo when it is a terminal.
std::optional<std::string> readPassword() {
  const bool terminal = ::isatty(STDIN_FILENO);
  termios saved{};
  if (terminal && ::tcgetattr(STDIN_FILENO, &saved) == 0) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    std::fputs("Password: ", stderr);
  }
  std::string line;
  const bool read = static_cast<bool>(std::getline(std::cin, line));
  if (terminal) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputs("\n", stderr);
  }
  if (!read) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string secondsText(std::chrono::milliseconds limit) {
  const double seconds = limit.count() / 1000.0;
  char text[32];
  std::snprintf(text, sizeof text, seconds == std::floor(seconds) ? "%.0f s" : "%.1f s", seconds);
  return text;
}

// What a wait for one reply came to.
struct Answer {
  WaitEnd end = WaitEnd::timedOut;
  std::optional<platform::Result<MethodReply>> reply;  // when end is ready
};

class Session {
 public:
  Session(bool json, std::chrono::milliseconds limit) : json_(json), limit_(limit) {}

  // Connects; on failure says why and gives the exit status.
  std::optional<int> open() {
    const std::string path = channel::channelSocketPath();
    auto client = channel::SocketMessengerClient::Connect(path);
    if (!client && client.error().notRunning)
      return complain(kExitUnreachable, "TavluneDesktop is not running (no channel at " + path + ").");
    if (!client) return complain(kExitUnreachable, client.error().description);
    client_ = std::move(*client);
    return std::nullopt;
  }

  std::chrono::milliseconds limit() const { return limit_; }

  // Waits for the reply within the session's limit; onInterrupt as in WaitPlan.
  Answer call(const char* channelName, const MethodCall& methodCall, const std::string& progressLabel = "",
              std::function<bool(int)> onInterrupt = nullptr) {
    auto pending = client_->Send(channelName, channel::EncodeMethodCall(methodCall));
    Answer answer;
    answer.end = waitWithProgress({progressLabel, limit_, std::move(onInterrupt)}, [&](std::chrono::milliseconds slice) {
      return pending.wait_for(slice) == std::future_status::ready;
    });
    if (answer.end != WaitEnd::ready) return answer;
    auto reply = pending.get();
    if (!reply) answer.reply = unexpected(reply.error());
    else answer.reply = channel::DecodeEnvelope(*reply);
    return answer;
  }

  // A read-only query of the shell's channel: its map, or null when the
  // application cannot answer it.
  EncodableValue connectionDetails() {
    Answer answer = call(kWindowChannel, MethodCall("connection"));
    if (answer.end != WaitEnd::ready || !*answer.reply) return EncodableValue();
    const auto* success = std::get_if<channel::SuccessReply>(&**answer.reply);
    return success && std::holds_alternative<EncodableMap>(success->value) ? success->value : EncodableValue();
  }

  // An answer that did not come: why, and the exit status.
  int unanswered(const Answer& answer, const std::string& what, const std::string& goesOn) const {
    if (answer.end == WaitEnd::stopped) return kExitInterrupted;
    return complain(kExitTimedOut, "no answer to " + what + " from TavluneDesktop within " + secondsText(limit_) +
                                       (goesOn.empty() ? "" : "; " + goesOn) + " (--timeout SECONDS waits longer)");
  }

  // Prints the reply: value through describe (or as JSON), errors with code,
  // message and a hint. Gives the exit status.
  int finish(const std::string& what, const std::string& method, const Answer& answer,
             const std::function<std::string(const EncodableValue&)>& describe, const std::string& goesOn = "") const {
    if (answer.end != WaitEnd::ready) return unanswered(answer, what, goesOn);
    const platform::Result<MethodReply>& reply = *answer.reply;
    if (!reply) return complain(kExitUnreachable, "no answer from TavluneDesktop: " + reply.error().description);
    if (const auto* success = std::get_if<channel::SuccessReply>(&*reply)) {
      if (json_) {
        printJson(toJson(success->value));
      } else {
        std::fputs(describe(success->value).c_str(), stdout);
      }
      return kExitDone;
    }
    if (const auto* error = std::get_if<channel::FlutterError>(&*reply)) {
      if (json_) {
        Json body{{"code", error->code}, {"message", error->message}};
        if (error->details) body["details"] = toJson(*error->details);
        printJson(Json{{"error", body}});
        return kExitErrorReply;
      }
      std::string message = what + " failed: " + error->code + (error->message.empty() ? "" : ": " + error->message);
      if (error->details) message += " (details: " + toJson(*error->details).dump() + ")";
      say(message);
      if (const std::string hint = errorHint(what, error->code); !hint.empty()) say("hint: " + hint);
      return kExitErrorReply;
    }
    if (json_) {
      printJson(Json{{"notImplemented", true}});
      return kExitErrorReply;
    }
    return complain(kExitErrorReply, "TavluneDesktop does not implement \"" + method + "\".");
  }

  channel::SocketMessengerClient& client() { return *client_; }

 private:
  bool json_;
  std::chrono::milliseconds limit_;
  std::unique_ptr<channel::SocketMessengerClient> client_;
};

std::function<std::string(const EncodableValue&)> fixed(std::string text) {
  return [text = std::move(text)](const EncodableValue&) { return text; };
}

std::string prettyJson(const EncodableValue& value) {
  return toJson(value).dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

const channel::FlutterError* errorOf(const Answer& answer) {
  if (answer.end != WaitEnd::ready || !*answer.reply) return nullptr;
  return std::get_if<channel::FlutterError>(&**answer.reply);
}

bool succeeded(const Answer& answer) {
  return answer.end == WaitEnd::ready && *answer.reply && std::holds_alternative<channel::SuccessReply>(**answer.reply);
}

const EncodableValue* entryOf(const EncodableValue& map, const char* key) {
  const auto* m = std::get_if<EncodableMap>(&map);
  if (!m) return nullptr;
  auto found = m->find(EncodableValue(key));
  return found == m->end() ? nullptr : &found->second;
}

bool isConnected(const EncodableValue& details) {
  const EncodableValue* phase = entryOf(details, "phase");
  return phase && *phase == EncodableValue("connected");
}

// Ctrl-C while a change is under way: the change goes on, and that is said.
std::function<bool(int)> stopWaitingOnInterrupt(std::string goesOn) {
  return [goesOn = std::move(goesOn)](int) {
    say("stopped waiting; " + goesOn + ".");
    return true;
  };
}

int connect(const Invocation& invocation, Session& session) {
  // Everything the command line can be refused for, before anything is read or sent.
  if (auto checked = connectArguments(invocation.connect, std::nullopt); !checked)
    return complain(kExitUsage, checked.error());
  if (auto failed = session.open()) return *failed;
  std::optional<std::string> password;
  if (invocation.connect.passwordFromStandardInput) {
    // Ctrl-C at the prompt must not leave the terminal without echo.
    InterruptCounter interrupts;
    password = readPassword();
    if (interrupts.count() > 0) return kExitInterrupted;
    if (!password) return complain(kExitUsage, "--password-stdin: nothing to read on standard input");
  }
  auto arguments = connectArguments(invocation.connect, password);
  if (!arguments) return complain(kExitUsage, arguments.error());
  auto field = [&](const char* key) { return arguments->at(EncodableValue(key)); };
  const std::string target = displayUrl(std::get<std::string>(field("protocol")),
                                        std::get<std::string>(field("host")), field("port").LongValue());

  bool undo = false;
  Answer answer = session.call(kVpnChannel, MethodCall("connectProxy", EncodableValue(*arguments)),
                               "Connecting through " + target, [&](int presses) {
                                 if (presses == 1) {
                                   say("the connect goes on in TavluneDesktop; waiting for its outcome. "
                                       "Ctrl-C again: undo it once it is done.");
                                   return false;
                                 }
                                 if (presses == 2) {
                                   undo = true;
                                   say("it will be undone (a disconnect) once it is done. Ctrl-C again: stop waiting.");
                                   return false;
                                 }
                                 say("stopped waiting; the connect goes on in TavluneDesktop (tavlune status shows "
                                     "its outcome, tavlune disconnect undoes it).");
                                 return true;
                               });
  const std::string goesOn = "the connect may still be under way in TavluneDesktop: tavlune status shows its outcome";
  if (const auto* error = errorOf(answer); error && error->code == "EXISTING_PROXY_ACTIVE" && !invocation.json) {
    const EncodableValue details = session.connectionDetails();
    if (isConnected(details)) {
      say("connect failed: " + error->code + ": " + error->message);
      return complain(kExitErrorReply, alreadyConnectedText(connectionSummary(details)));
    }
  }
  if (!undo || !succeeded(answer))
    return session.finish("connect", "connectProxy", answer, fixed("Connected through " + target + ".\n"), goesOn);

  std::printf("Connected through %s; undoing it as asked.\n", target.c_str());
  Answer undone = session.call(kVpnChannel, MethodCall("disconnectProxy"), "Disconnecting",
                               stopWaitingOnInterrupt("the disconnect goes on in TavluneDesktop"));
  const int status = session.finish("disconnect", "disconnectProxy", undone, fixed("Disconnected.\n"),
                                    "the disconnect may still be under way in TavluneDesktop");
  return status == kExitDone ? kExitInterrupted : status;
}

int webrtc(const Invocation& invocation, Session& session) {
  if (auto failed = session.open()) return *failed;
  const bool on = invocation.webRtcOn;
  Answer answer = session.call(
      kVpnChannel,
      MethodCall("setWebRtcProtection", EncodableValue(EncodableMap{{EncodableValue("enabled"), EncodableValue(on)}})),
      on ? "Switching WebRTC protection on" : "Switching WebRTC protection off",
      stopWaitingOnInterrupt("the switch goes on in TavluneDesktop"));
  if (!succeeded(answer))
    return session.finish("webrtc", "setWebRtcProtection", answer, fixed(""),
                          "it may still be under way in TavluneDesktop");
  // The method answers true whether or not anything changed: what it did is read back.
  const EncodableValue details = session.connectionDetails();
  const std::string done = on ? "WebRTC protection on.\n" : "WebRTC protection off.\n";
  const EncodableValue* protection = entryOf(details, "webRtcProtection");
  if (!protection) return session.finish("webrtc", "setWebRtcProtection", answer, fixed(done));
  const bool nowOn = *protection == EncodableValue(true);
  const bool connected = isConnected(details);
  const int status = session.finish("webrtc", "setWebRtcProtection", answer, fixed(connected && nowOn == on ? done : ""));
  if (!connected)
    return complain(kExitErrorReply, "not connected, so nothing changed: WebRTC protection follows the connection "
                                     "(tavlune connect switches it on, unless --no-webrtc-protection).");
  if (nowOn != on)
    return complain(kExitErrorReply, std::string("Chrome's managed policy still has WebRTC protection ") +
                                         (nowOn ? "on" : "off") + ": it is set there apart from Tavlune.");
  return status;
}

int status(Session& session, bool json) {
  if (auto failed = session.open()) return *failed;
  Answer answer = session.call(kVpnChannel, MethodCall("getConnectionState"));
  if (!succeeded(answer))
    return session.finish("status", "getConnectionState", answer, [](const EncodableValue& state) { return statusText(state); });
  const EncodableValue& state = std::get<channel::SuccessReply>(**answer.reply).value;
  const EncodableValue* phase = entryOf(state, "phase");
  // Offline, it says whether Tavlune's settings are still waiting to be taken back.
  const EncodableValue details = session.connectionDetails();
  const bool connected = phase && *phase == EncodableValue("connected");
  const EncodableValue* pending = entryOf(details, "takeBackPending");
  const bool owed = !connected && pending && *pending == EncodableValue(true);
  if (json) {
    Json out = toJson(state);
    if (out.is_object() && connected && isConnected(details))
      for (const char* key : {"host", "port", "services", "webRtcProtection"})
        if (const EncodableValue* value = entryOf(details, key)) out[key] = toJson(*value);
    if (out.is_object() && owed) out["takeBackPending"] = true;
    printJson(out);
    return kExitDone;
  }
  std::fputs(statusText(state, (connected && isConnected(details)) || owed ? &details : nullptr).c_str(), stdout);
  return kExitDone;
}

int quit(Session& session) {
  if (auto failed = session.open()) return *failed;
  const auto start = std::chrono::steady_clock::now();
  Answer answer = session.call(kWindowChannel, MethodCall("quit"));
  if (!succeeded(answer)) return session.finish("quit", "quit", answer, fixed(""));
  // It has agreed to quit; it is gone when it closes the channel.
  const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  const WaitEnd end = waitWithProgress(
      {"Waiting for TavluneDesktop to take back the proxy settings", session.limit() - spent,
       stopWaitingOnInterrupt("TavluneDesktop still quits once it has taken back the proxy settings")},
      [&](std::chrono::milliseconds slice) { return session.client().WaitUntilClosed(slice); });
  if (end != WaitEnd::ready)
    return session.unanswered({end, std::nullopt}, "quit", "TavluneDesktop still quits once it has taken back the proxy settings");
  return session.finish("quit", "quit", answer, fixed("TavluneDesktop has quit.\n"));
}

int runCommand(const Invocation& invocation, Session& session) {
  switch (invocation.command) {
    case Command::connect:
      return connect(invocation, session);
    case Command::disconnect: {
      if (auto failed = session.open()) return *failed;
      Answer answer = session.call(kVpnChannel, MethodCall("disconnectProxy"), "Disconnecting",
                                   stopWaitingOnInterrupt("the disconnect goes on in TavluneDesktop"));
      return session.finish("disconnect", "disconnectProxy", answer, fixed("Disconnected.\n"),
                            "it may still be under way in TavluneDesktop");
    }
    case Command::status:
      return status(session, invocation.json);
    case Command::inspect: {
      if (auto failed = session.open()) return *failed;
      Answer answer = session.call(kVpnChannel, MethodCall("inspectProxy"), "Inspecting");
      return session.finish("inspect", "inspectProxy", answer, inspectText);
    }
    case Command::webrtc:
      return webrtc(invocation, session);
    case Command::call: {
      std::optional<EncodableValue> arguments;
      if (invocation.jsonArguments) {
        auto json = platform::json::parse(*invocation.jsonArguments);
        if (!json) return complain(kExitUsage, "the arguments are not JSON: " + json.error().description);
        auto value = toEncodable(*json);
        if (!value) return complain(kExitUsage, "the arguments cannot be sent: " + value.error());
        arguments = std::move(*value);
      }
      if (auto failed = session.open()) return *failed;
      Answer answer = session.call(kVpnChannel,
                                   arguments ? MethodCall(invocation.method, std::move(*arguments))
                                             : MethodCall(invocation.method),
                                   "Waiting for " + invocation.method,
                                   stopWaitingOnInterrupt(invocation.method + " goes on in TavluneDesktop"));
      return session.finish(invocation.method, invocation.method, answer, prettyJson,
                            "it may still be under way in TavluneDesktop");
    }
    case Command::quit:
      return quit(session);
    case Command::helper:
    case Command::help:
    case Command::version:
      break;
  }
  return kExitDone;
}

std::chrono::milliseconds limitFor(const Invocation& invocation) {
  if (invocation.timeoutSeconds) return std::chrono::milliseconds(std::llround(*invocation.timeoutSeconds * 1000));
  const CommandSpec* command = findCommand(invocation.commandName);
  return std::chrono::seconds(command ? command->timeoutSeconds : 0);
}

}  // namespace

int runTavlune(const std::vector<std::string>& arguments) {
  auto invocation = parseArguments(arguments);
  int status = kExitDone;
  if (!invocation) {
    status = complain(kExitUsage, invocation.error());
  } else if (invocation->command == Command::help) {
    std::fputs(helpText(invocation->helpTopic).c_str(), stdout);
  } else if (invocation->command == Command::version) {
    std::printf("tavlune %s\n", TAVLUNE_VERSION);
  } else if (invocation->command == Command::helper) {
    status = runHelperCommand(invocation->helperUninstall, invocation->json, limitFor(*invocation));
  } else {
    Session session(invocation->json, limitFor(*invocation));
    status = runCommand(*invocation, session);
  }
  // Output that never arrived is a failure, whatever the command did.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    const int error = errno;
    return complain(kExitErrorReply, std::string("cannot write to standard output: ") + std::strerror(error));
  }
  return status;
}

}  // namespace tavlune::cli
