// Line framing, the same on both ends: reads of up to 4096 bytes, the first
// chunk holding a line feed ends the message (the whole buffer, the line feed
// and anything after it included), more than 65536 bytes without one is no
// message, and the peer's close ends a non-empty message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace tavlune::helperprotocol {

inline constexpr std::size_t kReadChunkBytes = 4096;
inline constexpr std::size_t kMaxMessageBytes = 65536;

// What one read gave: bytes (count > 0), the end of the stream, a failure, or
// the reader's deadline passing.
struct ReadChunkResult {
  enum class Kind { bytes, endOfStream, failed, timedOut };
  Kind kind = Kind::failed;
  std::size_t count = 0;
};

using ChunkReader = std::function<ReadChunkResult(std::span<uint8_t> buffer)>;

enum class FramingOutcome { message, noMessage, timedOut };

struct FramedMessage {
  FramingOutcome outcome = FramingOutcome::noMessage;
  std::string bytes;  // the message when outcome is message
};

// A deadline that passes is never taken as the end of the message: a peer
// that has not finished its line in time has sent nothing usable.
FramedMessage readMessage(const ChunkReader& read);

// Reads a message from a stream socket, retrying EINTR. With a time-out the
// whole message must arrive within that many milliseconds of the call.
FramedMessage readMessage(int fd, std::optional<int> timeoutMilliseconds = std::nullopt);

}  // namespace tavlune::helperprotocol
