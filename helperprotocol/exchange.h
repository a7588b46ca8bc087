// One request and its reply line on a connection of its own: the only way
// either program of the application's side talks to the daemon.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace tavlune::helperprotocol {

// How far an exchange got: no socket file, connect refused (or failed
// otherwise), taken and closed without an answer (the daemon went away),
// not answered within the limit (connect included), or answered.
enum class Reach { noSocket, refused, closed, noAnswer, answered };

struct Exchange {
  Reach reach = Reach::noSocket;
  std::optional<platform::Error> connectError;  // when connect failed
  bool requestWritten = false;                  // every byte of the request was sent
  std::string reply;                            // the framed reply when answered
};

// Connects to socketPath, sends requestLine and reads the reply, all within
// limit. handedOver runs once the request has been written (or tried): from
// then on the daemon may act on it. A daemon that refuses a peer answers at
// once and closes without reading, so its reply is read even when the write
// failed.
Exchange exchange(std::string_view socketPath, std::string_view requestLine, std::chrono::milliseconds limit,
                  const std::function<void()>& handedOver = {});

}  // namespace tavlune::helperprotocol
