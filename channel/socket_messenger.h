// The application's end of the channel socket: a binary messenger that serves
// front ends connecting to a Unix-domain socket. Messages arrive on one I/O
// thread and are handed to their channel's handler on the main queue; replies
// may be given from any thread, in any order, and go back tagged with their
// message's id. The wire format is in docs/channel.md.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "channel/messenger.h"
#include "platform/dispatch/main_queue.h"
#include "platform/error.h"

namespace tavlune::channel {

struct SocketMessengerLimits {
  // Front ends at once. One more takes the place of the one idle longest;
  // when none is idle, it is accepted and closed at once.
  size_t maxConnections = 32;
  // Per connection; past it the connection is not read until replies free room.
  size_t maxMessagesInFlight = 256;
  // Memory held for the replies of one front end that the kernel has not
  // taken yet; a reply that would need more drops the front end instead.
  size_t maxPendingReplyBytes = 64 * 1024 * 1024;
  // How long close() keeps writing replies already given.
  int flushMilliseconds = 2000;
};

class SocketMessenger final : public BinaryMessenger {
 public:
  // Serves path with mode 0600, replacing a socket file left there: the caller
  // must be the only instance (it holds the single-instance lock). Only peers
  // of our own effective user id are served; any other is closed unread.
  static platform::Result<std::unique_ptr<SocketMessenger>> listen(std::string path,
                                                                   std::shared_ptr<platform::MainQueue> mainQueue,
                                                                   SocketMessengerLimits limits = {});
  ~SocketMessenger() override;
  SocketMessenger(const SocketMessenger&) = delete;
  SocketMessenger& operator=(const SocketMessenger&) = delete;

  // The application does not call into the front end: nothing on the other
  // side has handlers, so reply is answered empty at once, as Flutter answers
  // a message for a channel nobody listens on.
  void Send(const std::string& channel, const uint8_t* message, size_t message_size,
            BinaryReply reply = nullptr) const override;
  void SetMessageHandler(const std::string& channel, BinaryMessageHandler handler) override;

  // Stops accepting and reading, writes out the replies already given (for up
  // to flushMilliseconds), closes every connection and removes the socket
  // file. Replies given afterwards are dropped. Idempotent.
  void close();

  const std::string& path() const;

  struct State;

 private:
  explicit SocketMessenger(std::shared_ptr<State> state);
  std::shared_ptr<State> state_;
};

}  // namespace tavlune::channel
