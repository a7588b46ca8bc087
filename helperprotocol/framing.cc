#include "helperprotocol/framing.h"

#include <algorithm>
#include <chrono>

#include "platform/descriptors/descriptors.h"
#include "platform/socket/unix_socket.h"

namespace tavlune::helperprotocol {

FramedMessage readMessage(const ChunkReader& read) {
  std::string buffer;
  uint8_t chunk[kReadChunkBytes];
  bool first = true;
  for (;;) {
    ReadChunkResult got = read(std::span<uint8_t>(chunk, sizeof chunk));
    if (got.kind == ReadChunkResult::Kind::timedOut) return {FramingOutcome::timedOut, {}};
    if (got.kind != ReadChunkResult::Kind::bytes || got.count == 0) {
      if (first || buffer.empty()) return {FramingOutcome::noMessage, {}};
      return {FramingOutcome::message, std::move(buffer)};
    }
    first = false;
    std::size_t count = std::min(got.count, sizeof chunk);
    buffer.append(reinterpret_cast<const char*>(chunk), count);
    if (std::find(chunk, chunk + count, uint8_t{'\n'}) != chunk + count)
      return {FramingOutcome::message, std::move(buffer)};
    if (buffer.size() > kMaxMessageBytes) return {FramingOutcome::noMessage, {}};
  }
}

FramedMessage readMessage(int fd, std::optional<int> timeoutMilliseconds) {
  using Clock = std::chrono::steady_clock;
  using Kind = ReadChunkResult::Kind;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds.value_or(0));
  auto got = [](std::size_t count) { return ReadChunkResult{count ? Kind::bytes : Kind::endOfStream, count}; };
  return readMessage([&](std::span<uint8_t> buffer) -> ReadChunkResult {
    if (!timeoutMilliseconds) {
      auto count = platform::receiveSome(fd, buffer.data(), buffer.size());
      return count ? got(*count) : ReadChunkResult{Kind::failed, 0};
    }
    // With a deadline, take what is there and wait with poll only when
    // nothing is. One deadline for the whole line, so a peer trickling a byte
    // at a time cannot stretch it.
    for (;;) {
      auto count = platform::receiveReady(fd, buffer.data(), buffer.size());
      if (!count) return {Kind::failed, 0};
      if (*count) return got(**count);
      auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return {Kind::timedOut, 0};
      pollfd readable{fd, POLLIN, 0};
      if (!platform::waitForEvents(std::span(&readable, 1), static_cast<int>(std::min<long long>(left, 60'000))))
        return {Kind::failed, 0};
    }
  });
}

}  // namespace tavlune::helperprotocol
