// The application's side of the helper conversation: one exchange per
// command, each on its own connection, closed on every path, and each within
// its deadline (exchange_deadline.h).
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "helperclient/exchange_deadline.h"
#include "helperprotocol/exchange.h"
#include "helperprotocol/protocol.h"
#include "model/mac_proxy_error.h"

namespace tavlune::helperclient {

using model::ManagerResult;

// A failed exchange, and whether its command may have run. Once the request
// has been handed to the helper, a failure (an error reply, a dropped
// connection, no reply in time) leaves what it asked for unknown: some or all
// of a command line may have been applied.
struct HelperFailure {
  model::AnyError error;
  bool handedOver = false;
};

template <typename T>
using HelperResult = Expected<T, HelperFailure>;

// What a careful probe finds at the helper's socket.
enum class HelperPresence {
  current,       // "ping" answered with this build's version
  missing,       // nothing listens: no socket file, or nobody accepting for a restart's while
  other,         // something answers, but not as this build's helper for this user
  unresponsive,  // it took the connection and has not answered within the patience: busy, or hung
};

// How long a probe waits for a helper that is there but not answering yet.
struct ProbePatience {
  // Refused connections while launchd restarts the helper (or, on macOS,
  // while its listen queue is full).
  std::chrono::milliseconds restart = kRestartPatience;
  // A connection taken but not answered: the helper serves one at a time.
  std::chrono::milliseconds busy = kBusyPatience;
};

class HelperClient {
 public:
  explicit HelperClient(std::string socketPath = std::string(helperprotocol::kSocketPath), ProbePatience patience = {})
      : socketPath_(std::move(socketPath)), patience_(patience) {}
  virtual ~HelperClient() = default;

  // Sends one command and returns the reply, which holds ok.
  virtual HelperResult<helperprotocol::Reply> sendHelperCommand(const std::string& command);

  // True only when "ping" is answered with the version this build expects,
  // within the ping's own deadline.
  virtual bool helperIsAvailable();

  // Before deciding that the helper must be installed: waits out a restart
  // and a busy helper, within the patience.
  virtual HelperPresence probe();

 private:
  using Reach = helperprotocol::Reach;
  struct Attempt {
    Reach reach;
    HelperResult<helperprotocol::Reply> result;
  };
  Attempt attempt(const std::string& command, std::chrono::milliseconds deadline);

  std::string socketPath_;
  ProbePatience patience_;
};

}  // namespace tavlune::helperclient
