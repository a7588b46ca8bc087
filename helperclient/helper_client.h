// The application's side of the helper conversation: one exchange per
// command, each on its own connection, closed on every path, and each within
// its deadline (exchange_deadline.h).
#pragma once

#include <optional>
#include <string>

#include "helperprotocol/protocol.h"
#include "model/mac_proxy_error.h"
#include "platform/json/json.h"

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

class HelperClient {
 public:
  explicit HelperClient(std::string socketPath = std::string(helperprotocol::kSocketPath))
      : socketPath_(std::move(socketPath)) {}
  virtual ~HelperClient() = default;

  // Sends one command and returns the reply object, which holds "ok" true.
  virtual HelperResult<platform::json::Json> sendHelperCommand(const std::string& command);

  // True only when "ping" is answered with the version this build expects.
  virtual bool helperIsAvailable();

 private:
  std::string socketPath_;
};

}  // namespace tavlune::helperclient
