// The two state queries over the channel socket, as a front end sees them:
// one connection, one call in flight, each round trip timed from the frame's
// first byte written to the reply's last byte read. A round trip holds the
// application's own time plus the socket and the client's work, so it bounds
// the time inside the application from above. Needs a running, connected
// TavluneDesktop of the same user (same HOME).
//
//   channel_call_latency [CALLS]     default 5000 of each, alternating
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "bench/state_queries.h"
#include "channel/socket_messenger_frame.h"
#include "platform/socket/unix_socket.h"
#include "channel/socket_messenger_path.h"
#include "channel/standard_codec.h"
#include "frontendprotocol/channels.h"

namespace {

using namespace tavlune;
using SteadyClock = std::chrono::steady_clock;

constexpr const char* kChannel = frontendprotocol::vpn::kChannel;

// A front end that waits for each reply before the next call.
class BlockingChannel {
 public:
  static platform::Result<BlockingChannel> open(const std::string& path) {
    auto address = channel::channelSocketAddress(path);
    if (!address) return unexpected(address.error());
    auto connected = platform::connectStreamSocket(*address, sizeof *address, std::chrono::seconds(5));
    if (!connected) return unexpected(platform::Error{"Could not connect to " + path + ": " + connected.error().description});
    return BlockingChannel(connected->release());
  }
  BlockingChannel(BlockingChannel&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  ~BlockingChannel() {
    if (fd_ >= 0) ::close(fd_);
  }

  // The reply's payload.
  platform::Result<std::vector<uint8_t>> call(const std::vector<uint8_t>& frame) {
    if (auto written = platform::sendAll(fd_, std::string_view(reinterpret_cast<const char*>(frame.data()), frame.size()));
        !written)
      return unexpected(written.error());
    uint8_t buffer[4096];
    for (;;) {
      auto next = reader_.next();
      if (!next) return unexpected(next.error());
      if (*next) return std::move((*next)->payload);
      ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return unexpected(platform::Error{"the application closed the channel"});
      reader_.append(buffer, static_cast<size_t>(n));
    }
  }

 private:
  explicit BlockingChannel(int fd) : fd_(fd) {}
  int fd_;
  channel::FrameReader reader_;
};

std::vector<uint8_t> frameFor(const char* method) {
  auto frame = channel::encodeFrame(
      {1, channel::FrameKind::message, kChannel, channel::EncodeMethodCall(channel::MethodCall(method))});
  return frame ? *frame : std::vector<uint8_t>{};
}

// The reply's value when it is a success, else nothing.
std::optional<channel::EncodableValue> successValue(const std::vector<uint8_t>& payload) {
  auto reply = channel::DecodeEnvelope(payload);
  if (!reply) return std::nullopt;
  const auto* success = std::get_if<channel::SuccessReply>(&*reply);
  if (!success) return std::nullopt;
  return success->value;
}

}  // namespace

int main(int argc, char** argv) {
  int calls = argc > 1 ? std::atoi(argv[1]) : 5000;
  if (calls < 1) {
    std::fprintf(stderr, "usage: channel_call_latency [CALLS]\n");
    return 2;
  }
  auto link = BlockingChannel::open(channel::channelSocketPath());
  if (!link) {
    std::fprintf(stderr, "%s\n", link.error().description.c_str());
    return 1;
  }
  auto queries = bench::stateQueries();
  std::vector<std::vector<uint8_t>> frames;
  for (const auto& query : queries) frames.push_back(frameFor(query.method));

  constexpr int kWarmUp = 100;
  for (int i = 0; i < kWarmUp + calls; ++i) {
    for (std::size_t q = 0; q < queries.size(); ++q) {
      auto& query = queries[q];
      auto before = SteadyClock::now();
      auto payload = link->call(frames[q]);
      auto after = SteadyClock::now();
      if (!payload) {
        std::fprintf(stderr, "%s: %s\n", query.method, payload.error().description.c_str());
        return 1;
      }
      auto value = successValue(*payload);
      if (!bench::isConnectedAnswer(query.method, value ? &*value : nullptr)) ++query.unexpectedReplies;
      if (i >= kWarmUp) query.microseconds.push_back(std::chrono::duration<double, std::micro>(after - before).count());
    }
  }

  std::printf("round trips over %s, %d calls of each, alternating, one in flight\n",
              channel::channelSocketPath().c_str(), calls);
  return bench::reportQueries(queries, "round trip") ? 0 : 1;
}
