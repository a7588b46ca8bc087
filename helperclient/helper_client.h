// The application's side of the helper conversation: one exchange per
// command, each on its own connection, closed on every path.
#pragma once

#include <optional>
#include <string>

#include "helperprotocol/protocol.h"
#include "model/mac_proxy_error.h"
#include "platform/json/json.h"

namespace tavlune::helperclient {

using model::ManagerResult;

class HelperClient {
 public:
  explicit HelperClient(std::string socketPath = std::string(helperprotocol::kSocketPath))
      : socketPath_(std::move(socketPath)) {}
  virtual ~HelperClient() = default;

  // Sends one command and returns the reply object, which holds "ok" true.
  virtual ManagerResult<platform::json::Json> sendHelperCommand(const std::string& command);

  // True only when "ping" is answered with the version this build expects.
  virtual bool helperIsAvailable();

  // Writes every byte; a peer that has gone away is an error, never a signal.
  static ManagerResult<void> writeSocket(const std::string& data, int fd);
  // One framed message, or absent.
  static std::optional<std::string> readSocketLine(int fd);

 private:
  std::string socketPath_;
};

}  // namespace tavlune::helperclient
