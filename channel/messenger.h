// The binary messenger: opaque messages by channel name, in the shape of
// Flutter's BinaryMessenger. Method channels sit on top of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace tavlune::channel {

// Answers one message. An empty reply (null, 0) means nobody handles it, the
// not-implemented answer of the method layer. Callable from any thread, once.
using BinaryReply = std::function<void(const uint8_t* reply, size_t reply_size)>;

// Receives one message and the way to answer it; the reply may be kept and
// called later. Runs on the main thread.
using BinaryMessageHandler = std::function<void(const uint8_t* message, size_t message_size, BinaryReply reply)>;

class BinaryMessenger {
 public:
  virtual ~BinaryMessenger() = default;

  // Sends a message to the other side's handler for channel; reply, when given,
  // receives its answer.
  virtual void Send(const std::string& channel, const uint8_t* message, size_t message_size,
                    BinaryReply reply = nullptr) const = 0;

  // Installs the handler for channel, replacing any earlier one; an empty
  // handler removes it, and messages for it are then answered empty.
  virtual void SetMessageHandler(const std::string& channel, BinaryMessageHandler handler) = 0;
};

}  // namespace tavlune::channel
