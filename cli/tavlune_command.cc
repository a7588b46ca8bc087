#include "cli/tavlune_command.h"

#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>

#include "cli/arguments.h"
#include "cli/json_values.h"
#include "cli/progress_wait.h"
#include "cli/proxy_url.h"
#include "cli/reply_text.h"
#include "channel/method_reply.h"
#include "channel/socket_messenger_client.h"
#include "channel/socket_messenger_path.h"
#include "channel/standard_codec.h"

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

class Session {
 public:
  explicit Session(bool json) : json_(json) {}

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

  platform::Result<MethodReply> call(const char* channelName, const MethodCall& methodCall,
                                     const std::string& progressLabel = "") {
    auto pending = client_->Send(channelName, channel::EncodeMethodCall(methodCall));
    waitWithProgress(progressLabel, [&](int) {
      return pending.wait_for(std::chrono::seconds(1)) == std::future_status::ready;
    });
    auto reply = pending.get();
    if (!reply) return unexpected(reply.error());
    return channel::DecodeEnvelope(*reply);
  }

  // Prints the reply: value through describe (or as JSON), errors with code
  // and message. Gives the exit status.
  int finish(const std::string& what, const std::string& method, const platform::Result<MethodReply>& reply,
             const std::function<std::string(const EncodableValue&)>& describe) const {
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
      return complain(kExitErrorReply, message);
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
  std::unique_ptr<channel::SocketMessengerClient> client_;
};

std::function<std::string(const EncodableValue&)> fixed(std::string text) {
  return [text = std::move(text)](const EncodableValue&) { return text; };
}

std::string prettyJson(const EncodableValue& value) {
  return toJson(value).dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

int runCommand(const Invocation& invocation, Session& session) {
  switch (invocation.command) {
    case Command::connect: {
      std::optional<std::string> password;
      if (invocation.connect.passwordFromStandardInput) {
        password = readPassword();
        if (!password) return complain(kExitUsage, "--password-stdin: nothing to read on standard input");
      }
      auto arguments = connectArguments(invocation.connect, password);
      if (!arguments) return complain(kExitUsage, arguments.error());
      if (auto failed = session.open()) return *failed;
      auto field = [&](const char* key) { return arguments->at(EncodableValue(key)); };
      const std::string target = displayUrl(std::get<std::string>(field("protocol")),
                                            std::get<std::string>(field("host")), field("port").LongValue());
      auto reply = session.call(kVpnChannel, MethodCall("connectProxy", EncodableValue(*arguments)),
                                "Connecting through " + target);
      return session.finish("connect", "connectProxy", reply, fixed("Connected through " + target + ".\n"));
    }
    case Command::disconnect: {
      if (auto failed = session.open()) return *failed;
      auto reply = session.call(kVpnChannel, MethodCall("disconnectProxy"), "Disconnecting");
      return session.finish("disconnect", "disconnectProxy", reply, fixed("Disconnected.\n"));
    }
    case Command::status: {
      if (auto failed = session.open()) return *failed;
      auto reply = session.call(kVpnChannel, MethodCall("getConnectionState"));
      return session.finish("status", "getConnectionState", reply, statusText);
    }
    case Command::inspect: {
      if (auto failed = session.open()) return *failed;
      auto reply = session.call(kVpnChannel, MethodCall("inspectProxy"), "Inspecting");
      return session.finish("inspect", "inspectProxy", reply, inspectText);
    }
    case Command::webrtc: {
      if (auto failed = session.open()) return *failed;
      const bool on = invocation.webRtcOn;
      auto reply = session.call(
          kVpnChannel,
          MethodCall("setWebRtcProtection", EncodableValue(EncodableMap{{EncodableValue("enabled"), EncodableValue(on)}})),
          on ? "Switching WebRTC protection on" : "Switching WebRTC protection off");
      return session.finish("webrtc", "setWebRtcProtection", reply,
                            fixed(on ? "WebRTC protection on.\n" : "WebRTC protection off.\n"));
    }
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
      auto reply = session.call(kVpnChannel,
                                arguments ? MethodCall(invocation.method, std::move(*arguments))
                                          : MethodCall(invocation.method),
                                "Waiting for " + invocation.method);
      return session.finish(invocation.method, invocation.method, reply, prettyJson);
    }
    case Command::quit: {
      if (auto failed = session.open()) return *failed;
      auto reply = session.call(kWindowChannel, MethodCall("quit"));
      if (!reply || !std::holds_alternative<channel::SuccessReply>(*reply))
        return session.finish("quit", "quit", reply, fixed(""));
      // It has agreed to quit; it is gone when it closes the channel.
      waitWithProgress("Waiting for TavluneDesktop to take back the proxy settings", [&](int) {
        return session.client().WaitUntilClosed(std::chrono::seconds(1));
      });
      return session.finish("quit", "quit", reply, fixed("TavluneDesktop has quit.\n"));
    }
    case Command::help:
      break;
  }
  return kExitDone;
}

}  // namespace

int runTavlune(const std::vector<std::string>& arguments) {
  auto invocation = parseArguments(arguments);
  if (!invocation) return complain(kExitUsage, invocation.error());
  if (invocation->command == Command::help) {
    std::fputs(helpText(invocation->helpTopic).c_str(), stdout);
    return kExitDone;
  }
  Session session(invocation->json);
  return runCommand(*invocation, session);
}

}  // namespace tavlune::cli
