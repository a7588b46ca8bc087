// One run of a tavlune command against TavluneDesktop: the connection to its
// channel socket, method calls awaited within the command's time limit, and
// the printing of replies and of what went wrong, with the exit status.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli/progress_wait.h"
#include "channel/encodable_value.h"
#include "channel/method_call.h"
#include "channel/method_reply.h"
#include "channel/socket_messenger_client.h"
#include "platform/json/json.h"

namespace tavlune::cli {

// How long a question asked on the way (may a connect start, is anything
// connected, take this cancel) waits for its answer: a live application
// answers at once, and without an answer the command goes on as if it had none.
inline constexpr std::chrono::seconds kQuickAnswer{2};

int complain(int status, const std::string& message);
void say(const std::string& message);
void printJson(const platform::json::Json& value);

// What a wait for one reply came to.
struct Answer {
  WaitEnd end = WaitEnd::timedOut;
  std::optional<platform::Result<channel::MethodReply>> reply;  // when end is ready
};

const channel::FlutterError* errorOf(const Answer& answer);
bool succeeded(const Answer& answer);
// The entry of a map value; null for a missing one or another value.
const channel::EncodableValue* entryOf(const channel::EncodableValue& map, const char* key);
// A whole-number entry of a map value.
std::optional<int64_t> integerEntryOf(const channel::EncodableValue& map, const char* key);
bool isConnected(const channel::EncodableValue& details);

using Describe = std::function<std::string(const channel::EncodableValue&)>;
Describe fixed(std::string text);

// Ctrl-C while a change is under way: the change goes on, and that is said.
std::function<bool(int)> stopWaitingOnInterrupt(std::string goesOn);

class Session {
 public:
  Session(bool json, std::chrono::milliseconds limit) : json_(json), limit_(limit) {}

  // Connects; on failure says why (and, when the application is not
  // running, what it left behind) and gives the exit status.
  std::optional<int> open();

  std::chrono::milliseconds limit() const { return limit_; }
  bool json() const { return json_; }

  // Waits for the reply within the session's limit, with a progress line
  // and Ctrl-C as the plan says (its limit is the session's).
  Answer call(const char* channelName, const channel::MethodCall& methodCall, WaitPlan plan = {});
  // A quick question: its success value, or null when none came within
  // limit (at most the session's).
  channel::EncodableValue ask(const char* channelName, const channel::MethodCall& methodCall,
                              std::chrono::milliseconds limit = kQuickAnswer);

  // The shell channel's read-only view of the connection; null when the
  // application cannot answer it within limit (by default the session's).
  channel::EncodableValue connectionDetails(std::optional<std::chrono::milliseconds> limit = std::nullopt);

  // An answer that did not come: why, and the exit status.
  int unanswered(const Answer& answer, const std::string& what, const std::string& goesOn) const;

  // Prints the reply: value through describe (or as JSON), errors with code,
  // message and a hint. Gives the exit status.
  int finish(const std::string& what, const std::string& method, const Answer& answer, const Describe& describe,
             const std::string& goesOn = "") const;

  channel::SocketMessengerClient& client() { return *client_; }

 private:
  bool json_;
  std::chrono::milliseconds limit_;
  std::unique_ptr<channel::SocketMessengerClient> client_;
};

}  // namespace tavlune::cli
