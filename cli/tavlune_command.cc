#include "cli/tavlune_command.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>

#include "cli/arguments.h"
#include "cli/command_table.h"
#include "cli/helper_command.h"
#include "cli/json_values.h"
#include "cli/proof_progress.h"
#include "cli/proxy_commands.h"
#include "cli/reply_text.h"
#include "cli/session.h"
#include "frontendprotocol/channels.h"
#include "frontendprotocol/keys.h"
#include "platform/error.h"
#include "tavlune_version.h"

namespace tavlune::cli {
namespace {

using channel::EncodableMap;
using channel::EncodableValue;
using channel::MethodCall;
using platform::json::Json;
using namespace frontendprotocol;  // the channel's names and keys

std::string prettyJson(const EncodableValue& value) {
  return toJson(value).dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

int disconnect(Session& session) {
  if (auto failed = session.open()) return *failed;
  const EncodableValue details = session.connectionDetails(kQuickAnswer);
  const EncodableValue* pending = entryOf(details, kTakeBackPendingKey);
  // An unfinished take-back is Tavlune's to finish: that disconnect is sent.
  const bool owed = pending && *pending == EncodableValue(true);
  if (entryOf(details, kPhaseKey) && !isConnected(details) && !owed) {
    // A connect still proving its proxy has changed nothing: cancelled, it
    // never connects. One already applying is waited for and then undone.
    const EncodableValue progress = session.ask(window::kChannel, MethodCall(window::kConnectProgress));
    const bool alone = integerEntryOf(progress, kBehindKey).value_or(0) == 0;  // else the next connect would follow
    const bool cancelled = inProgress(progress) && alone &&
                           session.ask(window::kChannel, MethodCall(window::kCancelConnect)) == EncodableValue(true);
    if (!inProgress(progress) || cancelled) {
      if (session.json()) printJson(toJson(details));
      else std::fputs(cancelled ? "Nothing was connected: the connect under way was cancelled while its proxy was checked.\n"
                                : "Nothing was connected, so nothing changed.\n", stdout);
      return kExitDone;
    }
  }
  Answer answer = session.call(vpn::kChannel, MethodCall(vpn::kDisconnectProxy),
                               {"Disconnecting", nullptr, stopWaitingOnInterrupt("the disconnect goes on in TavluneDesktop")});
  return session.finish("disconnect", vpn::kDisconnectProxy, answer, fixed("Disconnected.\n"),
                        "it may still be under way in TavluneDesktop");
}

int webrtc(const Invocation& invocation, Session& session) {
  if (auto failed = session.open()) return *failed;
  const bool on = invocation.webRtcOn;
  Answer answer = session.call(
      vpn::kChannel,
      MethodCall(vpn::kSetWebRtcProtection, EncodableValue(EncodableMap{{EncodableValue(kEnabledKey), EncodableValue(on)}})),
      {on ? "Switching WebRTC protection on" : "Switching WebRTC protection off", nullptr,
       stopWaitingOnInterrupt("the switch goes on in TavluneDesktop")});
  if (!succeeded(answer))
    return session.finish("webrtc", vpn::kSetWebRtcProtection, answer, fixed(""),
                          "it may still be under way in TavluneDesktop");
  // The method answers true whether or not anything changed: what it did is read back.
  const EncodableValue details = session.connectionDetails();
  const std::string done = on ? "WebRTC protection on.\n" : "WebRTC protection off.\n";
  const EncodableValue* protection = entryOf(details, kWebRtcProtectionKey);
  if (!protection) return session.finish("webrtc", vpn::kSetWebRtcProtection, answer, fixed(done));
  const bool nowOn = *protection == EncodableValue(true);
  const bool connected = isConnected(details);
  const int status = session.finish("webrtc", vpn::kSetWebRtcProtection, answer, fixed(connected && nowOn == on ? done : ""));
  if (!connected)
    return complain(kExitErrorReply, "not connected, so nothing changed: WebRTC protection follows the connection "
                                     "(tavlune connect switches it on, unless --no-webrtc-protection).");
  if (nowOn != on)
    return complain(kExitErrorReply, std::string("Chrome's managed policy still has WebRTC protection ") +
                                         (nowOn ? "on" : "off") + ": it is set there apart from Tavlune.");
  return status;
}

int systemStatus(Session& session) {
  Answer answer = session.call(window::kChannel, MethodCall(window::kSystemProxy));
  return session.finish("status", window::kSystemProxy, answer, systemProxyText);
}

int status(const Invocation& invocation, Session& session) {
  if (auto failed = session.open()) return *failed;
  if (invocation.system) return systemStatus(session);
  Answer answer = session.call(vpn::kChannel, MethodCall(vpn::kGetConnectionState));
  if (!succeeded(answer))
    return session.finish("status", vpn::kGetConnectionState, answer, [](const EncodableValue& state) { return statusText(state); });
  const EncodableValue& state = std::get<channel::SuccessReply>(**answer.reply).value;
  const bool connected = isConnected(state);
  if (invocation.quiet) return connected ? kExitDone : kExitErrorReply;
  // Offline, the details say whether Tavlune's settings are still waiting to be taken back.
  const EncodableValue details = session.connectionDetails();
  const EncodableValue* pending = entryOf(details, kTakeBackPendingKey);
  const bool owed = !connected && pending && *pending == EncodableValue(true);
  EncodableValue progress;
  if (!connected) progress = session.ask(window::kChannel, MethodCall(window::kConnectProgress));
  if (session.json()) {
    Json out = toJson(state);
    if (out.is_object() && connected && isConnected(details))
      for (const char* key : {kHostKey, kPortKey, kServicesKey, kWebRtcProtectionKey})
        if (const EncodableValue* value = entryOf(details, key)) out[key] = toJson(*value);
    if (out.is_object() && owed) out[kTakeBackPendingKey] = true;
    if (inProgress(progress)) out = Json{{kPhaseKey, "connecting"}, {"connect", toJson(progress)}};
    printJson(out);
    return kExitDone;
  }
  if (inProgress(progress)) std::fputs(connectingText(progress).c_str(), stdout);
  else std::fputs(statusText(state, (connected && isConnected(details)) || owed ? &details : nullptr).c_str(), stdout);
  return kExitDone;
}

int quit(Session& session) {
  if (auto failed = session.open()) return *failed;
  const auto start = std::chrono::steady_clock::now();
  Answer answer = session.call(window::kChannel, MethodCall(window::kQuit));
  if (!succeeded(answer)) return session.finish("quit", window::kQuit, answer, fixed(""));
  // It has agreed to quit; it is gone when it closes the channel.
  const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  const WaitEnd end = waitWithProgress(
      {"Waiting for TavluneDesktop to take back the proxy settings", nullptr,
       stopWaitingOnInterrupt("TavluneDesktop still quits once it has taken back the proxy settings"),
       session.limit() - spent},
      [&](std::chrono::milliseconds slice) { return session.client().waitUntilClosed(slice); });
  if (end != WaitEnd::ready)
    return session.unanswered({end, std::nullopt}, "quit", "TavluneDesktop still quits once it has taken back the proxy settings");
  return session.finish("quit", window::kQuit, answer, fixed("TavluneDesktop has quit.\n"));
}

int call(const Invocation& invocation, Session& session) {
  std::optional<EncodableValue> arguments;
  if (invocation.jsonArguments) {
    auto json = platform::json::parse(*invocation.jsonArguments);
    if (!json) return complain(kExitUsage, "the arguments are not JSON: " + json.error().description);
    auto value = toEncodable(*json);
    if (!value) return complain(kExitUsage, "the arguments cannot be sent: " + value.error());
    arguments = std::move(*value);
  }
  if (auto failed = session.open()) return *failed;
  Answer answer = session.call(vpn::kChannel,
                               arguments ? MethodCall(invocation.method, std::move(*arguments)) : MethodCall(invocation.method),
                               {"Waiting for " + invocation.method, nullptr,
                                stopWaitingOnInterrupt(invocation.method + " goes on in TavluneDesktop")});
  return session.finish(invocation.method, invocation.method, answer, prettyJson,
                        "it may still be under way in TavluneDesktop");
}

int runCommand(const Invocation& invocation, Session& session) {
  switch (invocation.command) {
    case Command::connect:
      return connectCommand(invocation, session);
    case Command::check:
      return checkCommand(invocation, session);
    case Command::disconnect:
      return disconnect(session);
    case Command::status:
      return status(invocation, session);
    case Command::inspect: {
      if (auto failed = session.open()) return *failed;
      Answer answer = session.call(vpn::kChannel, MethodCall(vpn::kInspectProxy), {"Inspecting"});
      return session.finish("inspect", vpn::kInspectProxy, answer, inspectText);
    }
    case Command::webrtc:
      return webrtc(invocation, session);
    case Command::call:
      return call(invocation, session);
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
    return complain(kExitErrorReply, platform::Error::fromErrno("cannot write to standard output").description);
  }
  return status;
}

}  // namespace tavlune::cli
