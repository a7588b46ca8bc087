#include "cli/session.h"

#include <cmath>
#include <cstdio>

#include "cli/after_crash.h"
#include "cli/error_hints.h"
#include "cli/json_values.h"
#include "channel/socket_messenger_path.h"
#include "channel/standard_codec.h"
#include "cli/tavlune_command.h"
#include "frontendprotocol/channels.h"
#include "frontendprotocol/keys.h"
#include "model/mac_proxy_error.h"

namespace tavlune::cli {
namespace {

using channel::EncodableMap;
using channel::EncodableValue;
using channel::MethodReply;
using platform::json::Json;
using namespace frontendprotocol;  // the channel's names and keys

std::string secondsText(std::chrono::milliseconds limit) {
  const double seconds = limit.count() / 1000.0;
  char text[32];
  std::snprintf(text, sizeof text, seconds == std::floor(seconds) ? "%.0f s" : "%.1f s", seconds);
  return text;
}

}  // namespace

int complain(int status, const std::string& message) {
  std::fprintf(stderr, "tavlune: %s\n", message.c_str());
  return status;
}

void say(const std::string& message) { std::fprintf(stderr, "tavlune: %s\n", message.c_str()); }

void printJson(const Json& value) {
  auto text = platform::json::serialize(value);
  std::printf("%s\n", text ? text->c_str() : value.dump(-1, ' ', false, Json::error_handler_t::replace).c_str());
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

std::optional<int64_t> integerEntryOf(const EncodableValue& map, const char* key) {
  const EncodableValue* value = entryOf(map, key);
  if (!value || !(std::holds_alternative<int32_t>(*value) || std::holds_alternative<int64_t>(*value))) return std::nullopt;
  return value->LongValue();
}

bool isConnected(const EncodableValue& details) {
  const EncodableValue* phase = entryOf(details, kPhaseKey);
  return phase && *phase == EncodableValue(kConnectedPhase);
}

std::function<bool(int)> stopWaitingOnInterrupt(std::string goesOn) {
  return [goesOn = std::move(goesOn)](int) {
    say("stopped waiting; " + goesOn + ".");
    return true;
  };
}

Describe fixed(std::string text) {
  return [text = std::move(text)](const EncodableValue&) { return text; };
}

std::optional<int> Session::open() {
  const std::string path = channel::channelSocketPath();
  auto client = channel::SocketMessengerClient::connect(path);
  if (!client && client.error().notRunning) {
    say("TavluneDesktop is not running (no channel at " + path + ").");
    for (const auto& line : afterCrashLines()) say(line);
    return kExitUnreachable;
  }
  if (!client) return complain(kExitUnreachable, client.error().description);
  client_ = std::move(*client);
  return std::nullopt;
}

Answer Session::call(const char* channelName, const channel::MethodCall& methodCall, WaitPlan plan) {
  auto pending = client_->send(channelName, channel::EncodeMethodCall(methodCall));
  plan.limit = limit_;
  Answer answer;
  answer.end = waitWithProgress(plan, [&](std::chrono::milliseconds slice) {
    return pending.wait_for(slice) == std::future_status::ready;
  });
  if (answer.end != WaitEnd::ready) return answer;
  auto reply = pending.get();
  if (!reply) answer.reply = unexpected(reply.error());
  else answer.reply = channel::DecodeEnvelope(*reply);
  return answer;
}

EncodableValue Session::ask(const char* channelName, const channel::MethodCall& methodCall,
                            std::chrono::milliseconds limit) {
  auto pending = client_->send(channelName, channel::EncodeMethodCall(methodCall));
  if (pending.wait_for(std::min(limit, limit_)) != std::future_status::ready) return EncodableValue();
  auto reply = pending.get();
  auto decoded = reply ? channel::DecodeEnvelope(*reply) : platform::Result<MethodReply>(unexpected(reply.error()));
  const auto* success = decoded ? std::get_if<channel::SuccessReply>(&*decoded) : nullptr;
  return success ? success->value : EncodableValue();
}

EncodableValue Session::connectionDetails(std::optional<std::chrono::milliseconds> limit) {
  EncodableValue details = ask(window::kChannel, channel::MethodCall(window::kConnection), limit.value_or(limit_));
  return std::holds_alternative<EncodableMap>(details) ? details : EncodableValue();
}

int Session::unanswered(const Answer& answer, const std::string& what, const std::string& goesOn) const {
  if (answer.end == WaitEnd::stopped) return kExitInterrupted;
  return complain(kExitTimedOut, "no answer to " + what + " from TavluneDesktop within " + secondsText(limit_) +
                                     (goesOn.empty() ? "" : "; " + goesOn) + " (--timeout SECONDS waits longer)");
}

int Session::finish(const std::string& what, const std::string& method, const Answer& answer, const Describe& describe,
                    const std::string& goesOn) const {
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
    // Cancelled from elsewhere (tavlune disconnect, another front end): not the proxy's fault.
    const std::string hint = error->message == model::kProofCancelledMessage
                                 ? "it was cancelled while the proxy was being checked, before anything was changed"
                                 : errorHint(what, error->code);
    if (!hint.empty()) say("hint: " + hint);
    return kExitErrorReply;
  }
  if (json_) {
    printJson(Json{{"notImplemented", true}});
    return kExitErrorReply;
  }
  return complain(kExitErrorReply, "TavluneDesktop does not implement \"" + method + "\".");
}

}  // namespace tavlune::cli
