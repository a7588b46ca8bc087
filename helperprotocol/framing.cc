#include "helperprotocol/framing.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

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
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds.value_or(0));
  return readMessage([&](std::span<uint8_t> buffer) -> ReadChunkResult {
    using Kind = ReadChunkResult::Kind;
    for (;;) {
      // Without a deadline a plain blocking read; with one, take what is
      // there and wait with poll only when nothing is.
      ssize_t n = ::recv(fd, buffer.data(), buffer.size(), timeoutMilliseconds ? MSG_DONTWAIT : 0);
      if (n > 0) return {Kind::bytes, static_cast<std::size_t>(n)};
      if (n == 0) return {Kind::endOfStream, 0};
      if (errno == EINTR) continue;
      if (!timeoutMilliseconds || (errno != EAGAIN && errno != EWOULDBLOCK)) return {Kind::failed, 0};
      // One deadline for the whole line, so a peer trickling a byte at a
      // time cannot stretch it.
      auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return {Kind::timedOut, 0};
      pollfd pfd{fd, POLLIN, 0};
      if (poll(&pfd, 1, static_cast<int>(std::min<long long>(left, 60'000))) < 0 && errno != EINTR)
        return {Kind::failed, 0};
    }
  });
}

}  // namespace tavlune::helperprotocol
