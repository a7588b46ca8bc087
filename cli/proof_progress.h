// Where a connect or a proxy check stands, as TavluneDesktop publishes it on
// its window channel: asked for again and again while the reply is awaited,
// and written for people.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "channel/encodable_value.h"
#include "channel/method_call.h"
#include "channel/socket_messenger_client.h"

namespace tavlune::cli {

// "checking the proxy, pass 2 of 5 — last: curl: (7) ..." of a progress map;
// empty for "idle" and for anything it does not know.
std::string progressText(const channel::EncodableValue& progress);
// Its "pass 2 of 5 — last: ..." alone; empty unless it is proving.
std::string passText(const channel::EncodableValue& progress);
// A connect or check is listed: its phase is there and is not "idle".
bool inProgress(const channel::EncodableValue& progress);

class ProgressPoller {
 public:
  ProgressPoller(channel::SocketMessengerClient& client, channel::MethodCall query);

  // The latest answer (null before the first). Never waits: it asks again
  // once the last answer is in and a little time has passed.
  channel::EncodableValue latest();

 private:
  struct Shared {
    std::mutex mutex;
    channel::EncodableValue latest;
    bool pending = false;
  };
  channel::SocketMessengerClient& client_;
  const std::vector<uint8_t> query_;
  // Shared with the reply handler, which may run after this poller is gone.
  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
  std::chrono::steady_clock::time_point asked_{};
};

}  // namespace tavlune::cli
