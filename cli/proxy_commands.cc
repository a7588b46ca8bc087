#include "cli/proxy_commands.h"

#include <termios.h>
#include <unistd.h>

#include <iostream>

#include "cli/error_hints.h"
#include "cli/interrupts.h"
#include "cli/proof_progress.h"
#include "cli/proxy_url.h"
#include "cli/reply_text.h"
#include "cli/tavlune_command.h"
#include "frontendprotocol/channels.h"
#include "frontendprotocol/error_codes.h"
#include "frontendprotocol/keys.h"

namespace tavlune::cli {
namespace {

using channel::EncodableMap;
using channel::EncodableValue;
using channel::MethodCall;
using namespace frontendprotocol;  // the channel's names, keys and codes

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

struct ProxyRequest {
  EncodableMap arguments;
  std::string target;  // PROTOCOL://HOST:PORT as the application will use it
};

// Refuses what the command line alone can, says what the process list shows,
// connects, reads the password when asked to, and checks again with it. A
// status to exit with, or nothing when the request is ready.
std::optional<int> prepare(const Invocation& invocation, Session& session, ProxyRequest& request,
                           const std::function<std::optional<int>()>& beforePassword = nullptr) {
  const ConnectOptions& options = invocation.connect;
  if (auto checked = connectArguments(options, std::nullopt); !checked) return complain(kExitUsage, checked.error());
  if (passwordOnCommandLine(options))
    say("note: other users of this machine can read a password on the command line in the process list; "
        "--password-stdin asks for it at a prompt instead.");
  if (auto failed = session.open()) return failed;
  if (beforePassword)
    if (auto refused = beforePassword()) return refused;
  std::optional<std::string> password;
  if (options.passwordFromStandardInput) {
    // Ctrl-C at the prompt must not leave the terminal without echo.
    InterruptCounter interrupts;
    password = readPassword();
    if (interrupts.count() > 0) return kExitInterrupted;
    if (!password) return complain(kExitUsage, "--password-stdin: nothing to read on standard input");
  }
  auto arguments = connectArguments(options, password);
  if (!arguments) return complain(kExitUsage, arguments.error());
  auto field = [&](const char* key) { return arguments->at(EncodableValue(key)); };
  request.target = displayUrl(std::get<std::string>(field(kProtocolKey)), std::get<std::string>(field(kHostKey)),
                              field(kPortKey).LongValue());
  request.arguments = std::move(*arguments);
  return std::nullopt;
}

// The progress line's text: label, then where the proof stands once that is known.
std::function<std::string()> followed(ProgressPoller& poller, std::string label,
                                      std::string (*stageText)(const EncodableValue&)) {
  return [&poller, label = std::move(label), stageText] {
    const std::string stage = stageText(poller.latest());
    return stage.empty() ? label : label + ": " + stage;
  };
}

// A cancelled proof's end: the error as JSON, or a line for the person.
int cancelledEnd(const Session& session, const Answer& answer, const std::string& what, const std::string& line) {
  if (session.json()) (void)session.finish(what, what, answer, fixed(""));
  else say(line);
  return kExitInterrupted;
}

bool isValidationFailure(const Answer& answer) {
  const auto* error = errorOf(answer);
  return error && error->code == kValidationFailedCode;
}

}  // namespace

int connectCommand(const Invocation& invocation, Session& session) {
  ProxyRequest request;
  // One connect at a time: a second would only queue behind the first.
  auto another = [&]() -> std::optional<int> {
    const EncodableValue progress = session.ask(window::kChannel, MethodCall(window::kConnectProgress));
    if (!inProgress(progress)) return std::nullopt;
    std::string running = connectingText(progress);
    running = running.substr(0, running.find('\n'));
    if (!running.empty() && running.back() == '.') running.pop_back();
    return complain(kExitErrorReply, "another connect is under way (" + running +
                                         "); tavlune status follows it, and Ctrl-C where it was started cancels it "
                                         "while its proxy is checked.");
  };
  if (auto ended = prepare(invocation, session, request, another)) return *ended;

  ProgressPoller progress(session.client(), MethodCall(window::kConnectProgress));
  const std::string label = "Connecting through " + request.target;
  bool cancelled = false, undo = false;
  auto onInterrupt = [&](int presses) {
    if (presses == 1) {
      if (session.ask(window::kChannel, MethodCall(window::kCancelConnect)) == EncodableValue(true)) {
        cancelled = true;
        say("cancelling: the proxy was still being checked, so nothing has been pointed at it.");
        return false;
      }
      say("the connect goes on in TavluneDesktop; waiting for its outcome. Ctrl-C again: undo it once it is done.");
      return false;
    }
    if (cancelled) {
      say("stopped waiting; TavluneDesktop ends the connect as cancelled.");
      return true;
    }
    if (presses == 2) {
      undo = true;
      say("it will be undone (a disconnect) once it is done. Ctrl-C again: stop waiting.");
      return false;
    }
    say("stopped waiting; the connect goes on in TavluneDesktop (tavlune status shows its outcome, tavlune disconnect "
        "undoes it).");
    return true;
  };
  Answer answer = session.call(vpn::kChannel, MethodCall(vpn::kConnectProxy, EncodableValue(request.arguments)),
                               {label, followed(progress, label, progressText), onInterrupt});
  const std::string goesOn = "the connect may still be under way in TavluneDesktop: tavlune status shows its outcome";
  if (cancelled && isValidationFailure(answer))
    return cancelledEnd(session, answer, "connect",
                        "connect cancelled while the proxy was being checked; nothing was pointed at it.");
  if (const auto* error = errorOf(answer); error && error->code == kExistingProxyCode && !session.json()) {
    const EncodableValue details = session.connectionDetails();
    if (isConnected(details)) {
      say("connect failed: " + error->code + ": " + error->message);
      return complain(kExitErrorReply, alreadyConnectedText(connectionSummary(details)));
    }
  }
  if (!undo || !succeeded(answer))
    return session.finish("connect", vpn::kConnectProxy, answer, fixed("Connected through " + request.target + ".\n"), goesOn);

  std::printf("Connected through %s; undoing it as asked.\n", request.target.c_str());
  Answer undone = session.call(vpn::kChannel, MethodCall(vpn::kDisconnectProxy),
                               {"Disconnecting", nullptr, stopWaitingOnInterrupt("the disconnect goes on in TavluneDesktop")});
  const int status = session.finish("disconnect", vpn::kDisconnectProxy, undone, fixed("Disconnected.\n"),
                                    "the disconnect may still be under way in TavluneDesktop");
  return status == kExitDone ? kExitInterrupted : status;
}

int checkCommand(const Invocation& invocation, Session& session) {
  ProxyRequest request;
  if (auto ended = prepare(invocation, session, request)) return *ended;
  // The name this check goes by, to follow and cancel it among others.
  const EncodableValue checkId(std::to_string(::getpid()) + "-" +
                               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  request.arguments[EncodableValue(kCheckIdKey)] = checkId;
  const EncodableValue byId(EncodableMap{{EncodableValue(kCheckIdKey), checkId}});

  ProgressPoller progress(session.client(), MethodCall(window::kCheckProgress, byId));
  const std::string label = "Checking " + request.target;
  bool cancelled = false;
  auto onInterrupt = [&](int presses) {
    if (presses == 1 && session.ask(window::kChannel, MethodCall(window::kCancelCheck, byId)) == EncodableValue(true)) {
      cancelled = true;
      return false;  // its answer follows at once
    }
    return true;
  };
  Answer answer = session.call(window::kChannel, MethodCall(window::kCheckProxy, EncodableValue(request.arguments)),
                               {label, followed(progress, label, passText), onInterrupt});
  if (cancelled && isValidationFailure(answer)) return cancelledEnd(session, answer, "check", "check cancelled.");
  return session.finish("check", window::kCheckProxy, answer, inspectText,
                        "the check may still be under way in TavluneDesktop; it changes nothing");
}

}  // namespace tavlune::cli
