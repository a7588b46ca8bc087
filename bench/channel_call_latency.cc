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
#include <string>
#include <variant>
#include <vector>

#include "bench/sample_stats.h"
#include "platform/channel/socket_messenger_frame.h"
#include "platform/channel/socket_messenger_io.h"
#include "platform/channel/socket_messenger_path.h"
#include "platform/channel/standard_codec.h"

namespace {

using namespace tavlune;
using SteadyClock = std::chrono::steady_clock;

constexpr const char* kChannel = "com.tavlune.app/vpn";
constexpr double kP99LimitMs = 1.0;

// A front end that waits for each reply before the next call.
class BlockingChannel {
 public:
  static platform::Result<BlockingChannel> open(const std::string& path) {
    auto address = channel::internal::SocketAddress(path);
    if (!address) return unexpected(address.error());
    int fd = channel::internal::MakeStreamSocket();
    if (fd < 0) return unexpected(platform::Error::fromErrno("socket"));
    int connected;
    do connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address);
    while (connected != 0 && errno == EINTR);
    if (connected != 0) {
      auto error = platform::Error::fromErrno("Could not connect to " + path);
      ::close(fd);
      return unexpected(error);
    }
    return BlockingChannel(fd);
  }
  BlockingChannel(BlockingChannel&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  ~BlockingChannel() {
    if (fd_ >= 0) ::close(fd_);
  }

  // The reply's payload.
  platform::Result<std::vector<uint8_t>> call(const std::vector<uint8_t>& frame) {
    if (auto written = channel::internal::WriteAll(fd_, frame.data(), frame.size()); !written)
      return unexpected(written.error());
    uint8_t buffer[4096];
    for (;;) {
      auto next = reader_.Next();
      if (!next) return unexpected(next.error());
      if (*next) return std::move((*next)->payload);
      ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return unexpected(platform::Error{"the application closed the channel"});
      reader_.Append(buffer, static_cast<size_t>(n));
    }
  }

 private:
  explicit BlockingChannel(int fd) : fd_(fd) {}
  int fd_;
  channel::FrameReader reader_;
};

struct Query {
  const char* method;
  std::vector<uint8_t> frame;
  std::vector<double> microseconds;
  std::size_t unexpectedReplies = 0;
};

std::vector<uint8_t> frameFor(const char* method) {
  auto frame = channel::EncodeFrame(
      {1, channel::FrameKind::message, kChannel, channel::EncodeMethodCall(channel::MethodCall(method))});
  return frame ? *frame : std::vector<uint8_t>{};
}

// The answers of a connected application: the state's map says "connected",
// the confirmation says true. Anything else would time another path.
bool isConnectedAnswer(const char* method, const std::vector<uint8_t>& payload) {
  auto reply = channel::DecodeEnvelope(payload);
  if (!reply) return false;
  const auto* success = std::get_if<channel::SuccessReply>(&*reply);
  if (!success) return false;
  if (std::string(method) == "confirmProxyConnection") {
    const bool* flag = std::get_if<bool>(&success->value);
    return flag && *flag;
  }
  const auto* map = std::get_if<channel::EncodableMap>(&success->value);
  if (!map) return false;
  auto phase = map->find(channel::EncodableValue("phase"));
  return phase != map->end() && phase->second == channel::EncodableValue("connected");
}

}  // namespace

int main(int argc, char** argv) {
  int calls = argc > 1 ? std::atoi(argv[1]) : 5000;
  if (calls < 1) {
    std::fprintf(stderr, "usage: channel_call_latency [CALLS]\n");
    return 2;
  }
  auto link = BlockingChannel::open(channel::ChannelSocketPath());
  if (!link) {
    std::fprintf(stderr, "%s\n", link.error().description.c_str());
    return 1;
  }
  std::vector<Query> queries{{"getConnectionState", frameFor("getConnectionState"), {}, 0},
                             {"confirmProxyConnection", frameFor("confirmProxyConnection"), {}, 0}};

  constexpr int kWarmUp = 100;
  for (int i = 0; i < kWarmUp + calls; ++i) {
    for (auto& query : queries) {
      auto before = SteadyClock::now();
      auto payload = link->call(query.frame);
      auto after = SteadyClock::now();
      if (!payload) {
        std::fprintf(stderr, "%s: %s\n", query.method, payload.error().description.c_str());
        return 1;
      }
      if (!isConnectedAnswer(query.method, *payload)) ++query.unexpectedReplies;
      if (i >= kWarmUp) query.microseconds.push_back(std::chrono::duration<double, std::micro>(after - before).count());
    }
  }

  std::printf("round trips over %s, %d calls of each, alternating, one in flight\n",
              channel::ChannelSocketPath().c_str(), calls);
  bool answered = true;
  for (const auto& query : queries) {
    auto s = bench::summarize(query.microseconds);
    std::printf("  %-24s p50 %7.1f  p99 %7.1f  best %7.1f  worst %8.1f us\n", query.method, s.median, s.p99, s.best,
                s.worst);
    if (query.unexpectedReplies > 0) {
      std::fprintf(stderr, "%s: %zu replies were not those of a connected application\n", query.method,
                   query.unexpectedReplies);
      answered = false;
    }
  }
  if (!answered) return 1;
  for (const auto& query : queries) {
    auto s = bench::summarize(query.microseconds);
    bench::printFigure(std::string(query.method) + " round trip (p50; p99)",
                       bench::format("%.3f ms; %.3f ms", s.median / 1000, s.p99 / 1000),
                       bench::format("p99 <= %.0f ms", kP99LimitMs), s.p99 / 1000 <= kP99LimitMs);
  }
  return 0;
}
