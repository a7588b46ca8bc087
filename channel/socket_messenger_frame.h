// Frames of the channel socket (docs/channel.md): a 4-byte little-endian body
// length, then the body: call id (uint32 LE), kind (1 byte), channel name
// length (uint16 LE), the channel name in UTF-8, and the payload to the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/error.h"

namespace tavlune::channel {

enum class FrameKind : uint8_t {
  message = 0,  // a message for a channel's handler, front end to application
  reply = 1,    // the answer to the message with the same id
};

struct Frame {
  uint32_t id = 0;
  FrameKind kind = FrameKind::message;
  std::string channel;
  std::vector<uint8_t> payload;
};

inline constexpr size_t kFrameLengthBytes = 4;
// id + kind + channel name length
inline constexpr size_t kFrameFixedBodyBytes = 7;
// Far beyond any call of ours, small enough that a bad length cannot make a
// reader hold much memory.
inline constexpr size_t kMaxFrameBodyBytes = 16 * 1024 * 1024;
inline constexpr size_t kMaxChannelNameBytes = 1024;

// Fails for an empty or over-long channel name, a name that is not UTF-8, or
// a body over the cap.
platform::Result<std::vector<uint8_t>> encodeFrame(const Frame& frame);

// Collects bytes from a stream and cuts them into frames.
class FrameReader {
 public:
  void append(const uint8_t* data, size_t size);

  // The next whole frame, absent while more bytes are needed, or an error after
  // which the stream cannot be trusted any more. A length over the cap is an
  // error as soon as its four bytes are in, before the body arrives.
  platform::Result<std::optional<Frame>> next();

  // Bytes held that do not make a whole frame yet.
  size_t buffered() const { return buffer_.size() - consumed_; }

 private:
  std::vector<uint8_t> buffer_;
  size_t consumed_ = 0;
};

}  // namespace tavlune::channel
