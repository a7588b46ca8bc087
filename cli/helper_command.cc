#include "cli/helper_command.h"

#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>

#include "cli/tavlune_command.h"
#include "helperprotocol/exchange.h"
#include "helperprotocol/installed_helper.h"
#include "helperprotocol/protocol.h"
#include "channel/socket_messenger_client.h"
#include "channel/socket_messenger_path.h"
#include "channel/standard_codec.h"
#include "frontendprotocol/channels.h"
#include "frontendprotocol/keys.h"
#include "platform/files/files.h"
#include "platform/json/json.h"
#include "platform/plist/plist.h"
#include "platform/process/process.h"
#include "tavlune_version.h"

namespace tavlune::cli {
namespace {

using platform::json::Json;

constexpr const char* kLaunchctl = "/bin/launchctl";
// launchctl's status for a label that is not loaded.
constexpr int kNotLoaded = 3;
// Far more than the daemon's program file, which carries its version mark.
constexpr std::size_t kProgramReadLimit = 256 * 1024 * 1024;

std::string text(std::string_view view) { return std::string(view); }

// The version mark inside the installed program; absent in one built before marks.
std::optional<std::string> programVersion() {
  auto bytes = platform::files::readIfPresent(text(helperprotocol::kInstalledProgramPath), kProgramReadLimit);
  if (!bytes || !*bytes) return std::nullopt;
  const size_t at = (*bytes)->find(tavlune::kHelperVersionMark);
  if (at == std::string::npos) return std::nullopt;
  const size_t start = at + tavlune::kHelperVersionMark.size();
  const size_t end = (*bytes)->find('\0', start);
  if (end == std::string::npos || end - start > 64) return std::nullopt;
  return (*bytes)->substr(start, end - start);
}

// The user id the job file gives the daemon ("--uid N").
std::optional<std::string> servedUid() {
  auto bytes = platform::files::readIfPresent(text(helperprotocol::kLaunchDaemonJobPath), 1024 * 1024);
  if (!bytes || !*bytes) return std::nullopt;
  auto job = platform::plist::parse(**bytes);
  if (!job) return std::nullopt;
  const auto* dictionary = job->as<platform::plist::Dictionary>();
  if (!dictionary) return std::nullopt;
  auto found = dictionary->find("ProgramArguments");
  if (found == dictionary->end()) return std::nullopt;
  const auto* arguments = found->second.as<platform::plist::Array>();
  if (!arguments) return std::nullopt;
  for (size_t i = 0; i + 1 < arguments->size(); ++i) {
    const auto* word = (*arguments)[i].as<std::string>();
    if (word && *word == "--uid") {
      if (const auto* uid = (*arguments)[i + 1].as<std::string>()) return *uid;
    }
  }
  return std::nullopt;
}

struct PingOutcome {
  std::optional<helperprotocol::Reply> reply;  // when it decoded
  std::string problem;                 // why there was no reply
};

PingOutcome ping(std::chrono::milliseconds limit) {
  using helperprotocol::Reach;
  PingOutcome outcome;
  auto request = helperprotocol::encodeRequest({std::string(helperprotocol::kPingCommand)});
  auto exchanged = helperprotocol::exchange(helperprotocol::kSocketPath, request ? *request : std::string(), limit);
  switch (exchanged.reach) {
    case Reach::noSocket:
    case Reach::refused: {
      const platform::ErrorCode code = exchanged.connectError->code;
      outcome.problem = code == platform::ErrorCode::notFound || code == platform::ErrorCode::refused
                            ? "nothing listens there"
                            : exchanged.connectError->description;
      return outcome;
    }
    case Reach::noAnswer:
      outcome.problem = "no answer within " + std::to_string(limit.count() / 1000) + " s";
      return outcome;
    case Reach::closed:
      outcome.problem = "it closed without an answer";
      return outcome;
    case Reach::answered:
      break;
  }
  auto reply = helperprotocol::decodeReply(exchanged.reply);
  if (reply && *reply) outcome.reply = std::move(**reply);
  else outcome.problem = "its answer is not the helper's";
  return outcome;
}

int status(bool json, std::chrono::milliseconds limit) {
  const bool program = platform::files::exists(text(helperprotocol::kInstalledProgramPath));
  const bool job = platform::files::exists(text(helperprotocol::kLaunchDaemonJobPath));
  const auto version = program ? programVersion() : std::nullopt;
  const auto uid = job ? servedUid() : std::nullopt;
  const PingOutcome answer = ping(limit);
  const bool answering = answer.reply && answer.reply->ok;
  const int64_t protocol = answering ? answer.reply->version.value_or(0) : 0;  // 0: not told

  if (json) {
    Json out{{"installed", program && job},
             {"program", {{"path", text(helperprotocol::kInstalledProgramPath)}, {"present", program}}},
             {"job", {{"path", text(helperprotocol::kLaunchDaemonJobPath)}, {"present", job}, {"label", text(helperprotocol::kHelperLabel)}}},
             {"socket", {{"path", text(helperprotocol::kSocketPath)}, {"answering", answering}}}};
    if (version) out["program"]["version"] = *version;
    if (uid) out["job"]["uid"] = *uid;
    if (protocol) out["socket"]["protocolVersion"] = protocol;
    if (!answering)
      out["socket"]["problem"] = answer.reply && answer.reply->error ? *answer.reply->error : answer.problem;
    std::printf("%s\n", out.dump().c_str());
    return kExitDone;
  }

  std::string headline = program && job ? "installed" : program || job ? "partly installed" : "not installed";
  if (program && job) headline += answering ? " and answering" : ", not answering";
  std::printf("Helper: %s.\n", headline.c_str());
  std::printf("  program:  %s: %s\n", text(helperprotocol::kInstalledProgramPath).c_str(),
              !program   ? "absent"
              : version ? ("TavluneProxyHelper " + *version + (*version == kVersion ? "" : ", this tavlune is " + text(kVersion))).c_str()
                        : "present, version unknown (no version mark in the file)");
  std::printf("  job:      %s: %s\n", text(helperprotocol::kLaunchDaemonJobPath).c_str(),
              !job  ? "absent"
              : uid ? ("label " + text(helperprotocol::kHelperLabel) + ", serves uid " + *uid).c_str()
                    : "present, unreadable");
  std::string socket;
  if (answering) {
    socket = "answers this user, protocol version " + (protocol ? std::to_string(protocol) : std::string("unknown"));
    if (protocol != helperprotocol::kHelperVersion)
      socket += "; TavluneDesktop expects " + std::to_string(helperprotocol::kHelperVersion) + " and reinstalls it at its next change";
  } else if (answer.reply) {
    socket = "refuses this user (uid " + std::to_string(::geteuid()) + "): " + answer.reply->error.value_or("no reason given");
  } else {
    socket = answer.problem;
  }
  std::printf("  socket:   %s: %s\n", text(helperprotocol::kSocketPath).c_str(), socket.c_str());
  if (!program && !job)
    std::printf("TavluneDesktop installs it at the first connect, after an administrator approves.\n");
  return kExitDone;
}

// True when TavluneDesktop answers and says a connection of its own is in force.
bool tavluneConnected(std::chrono::milliseconds limit) {
  auto client = channel::SocketMessengerClient::connect(channel::channelSocketPath());
  if (!client) return false;
  auto pending = (*client)->send(frontendprotocol::window::kChannel,
                                 channel::EncodeMethodCall(channel::MethodCall(frontendprotocol::window::kConnection)));
  if (pending.wait_for(limit) != std::future_status::ready) return false;
  auto reply = pending.get();
  if (!reply) return false;
  auto envelope = channel::DecodeEnvelope(*reply);
  const auto* success = envelope ? std::get_if<channel::SuccessReply>(&*envelope) : nullptr;
  const auto* map = success ? std::get_if<channel::EncodableMap>(&success->value) : nullptr;
  if (!map) return false;
  auto phase = map->find(channel::EncodableValue(frontendprotocol::kPhaseKey));
  return phase != map->end() && phase->second == channel::EncodableValue(frontendprotocol::kConnectedPhase);
}

int uninstall(std::chrono::milliseconds limit) {
  if (::geteuid() != 0) {
    std::fprintf(stderr, "tavlune: helper uninstall needs an administrator: sudo tavlune helper uninstall\n");
    return kExitErrorReply;
  }
  if (tavluneConnected(limit)) {
    std::fprintf(stderr,
                 "tavlune: Tavlune is connected and needs the helper to take the settings back: "
                 "tavlune disconnect first.\n");
    return kExitErrorReply;
  }
  int status = kExitDone;
  auto stopped = platform::runProcess(kLaunchctl, {"bootout", "system/" + text(helperprotocol::kHelperLabel)});
  if (!stopped) {
    std::fprintf(stderr, "tavlune: %s: %s\n", kLaunchctl, stopped.error().description.c_str());
    status = kExitErrorReply;
  } else if (stopped->succeeded()) {
    std::printf("Stopped the launchd job %s.\n", text(helperprotocol::kHelperLabel).c_str());
  } else if (!stopped->endedBySignal && stopped->terminationStatus == kNotLoaded) {
    std::printf("The launchd job %s was not loaded.\n", text(helperprotocol::kHelperLabel).c_str());
  } else {
    std::fprintf(stderr, "tavlune: launchctl bootout failed: %s\n",
                 std::string(stopped->standardError.begin(), stopped->standardError.end()).c_str());
    status = kExitErrorReply;
  }
  for (std::string_view path : {helperprotocol::kInstalledProgramPath, helperprotocol::kLaunchDaemonJobPath, helperprotocol::kSocketPath}) {
    if (!platform::files::exists(text(path))) {
      std::printf("%s: not there.\n", text(path).c_str());
    } else if (auto removed = platform::files::remove(text(path)); removed) {
      std::printf("%s: removed.\n", text(path).c_str());
    } else {
      std::fprintf(stderr, "tavlune: %s: %s\n", text(path).c_str(), removed.error().description.c_str());
      status = kExitErrorReply;
    }
  }
  if (status == kExitDone)
    std::printf("The helper is uninstalled; TavluneDesktop installs it again, after an approval, when it next needs it.\n");
  return status;
}

}  // namespace

int runHelperCommand(bool uninstalling, bool json, std::chrono::milliseconds limit) {
  return uninstalling ? uninstall(limit) : status(json, limit);
}

}  // namespace tavlune::cli
