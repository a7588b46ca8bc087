#include "channel/socket_messenger.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "channel/messenger_method_channel.h"
#include "channel/socket_messenger_client.h"
#include "channel/socket_messenger_frame.h"
#include "channel/socket_messenger_io.h"
#include "platform/socket/unix_socket.h"
#include "channel/socket_messenger_path.h"
#include "channel/standard_codec.h"
#include "test_bytes.h"
#include "tests/support/temp_dir.h"

namespace tavlune::channel {
namespace {

using testing::B;
using testing::Bytes;
using testing::Cat;
using testing::Text;

Bytes Frame32(uint32_t v) { return B({int(v & 0xff), int(v >> 8 & 0xff), int(v >> 16 & 0xff), int(v >> 24)}); }

// A raw frame: length, id, kind, name length, name, payload; any field may lie.
Bytes RawFrame(uint32_t id, int kind, const std::string& channel, const Bytes& payload,
               std::optional<uint32_t> length = std::nullopt, std::optional<int> nameLength = std::nullopt) {
  Bytes body = Cat({Frame32(id), B({kind}), B({nameLength.value_or(int(channel.size())) & 0xff,
                                               nameLength.value_or(int(channel.size())) >> 8}),
                    Text(channel), payload});
  return Cat({Frame32(length.value_or(uint32_t(body.size()))), body});
}

// A connection that speaks frames by hand, so tests can send what a correct
// client never would.
class RawPeer {
 public:
  explicit RawPeer(const std::string& path) : fd_(platform::makeStreamSocket().release()) {
    auto address = internal::socketAddress(path);
    connected_ = address && ::connect(fd_, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) == 0;
  }
  ~RawPeer() { ::close(fd_); }
  bool connected() const { return connected_; }
  bool TryWrite(const Bytes& bytes) { return platform::sendAll(fd_, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())).has_value(); }
  void Write(const Bytes& bytes) { ASSERT_TRUE(TryWrite(bytes)); }
  void ShutdownWrite() { ::shutdown(fd_, SHUT_WR); }
  // The next frame; absent when the server closed the connection or 5 s passed.
  std::optional<Frame> Read() {
    for (;;) {
      auto next = reader_.Next();
      if (!next) return std::nullopt;
      if (*next) return std::move(*next);
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 5000) != 1) return std::nullopt;
      uint8_t buffer[4096];
      ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) {
        closed_ = true;
        return std::nullopt;
      }
      reader_.Append(buffer, size_t(n));
    }
  }
  // True when the server closed the connection without sending a frame first.
  bool ClosedWithoutReply() { return !Read() && closed_; }

 private:
  int fd_;
  bool connected_ = false;
  bool closed_ = false;
  FrameReader reader_;
};

// The application's side: a messenger whose main queue is served by a thread.
class MessengerTest : public ::testing::Test {
 protected:
  void SetUp() override { Start({}); }
  void TearDown() override {
    messenger.reset();
    mainQueue->stop();
    loop.join();
  }
  void Start(SocketMessengerLimits limits) {
    path = folder.path() + "/channel.sock";
    auto listening = SocketMessenger::Listen(path, mainQueue, limits);
    ASSERT_TRUE(listening) << listening.error().description;
    messenger = std::move(*listening);
    messenger->SetMessageHandler("echo", [](const uint8_t* m, size_t n, BinaryReply reply) { reply(m, n); });
  }
  // Keeps every reply of channel "held" until the test answers it.
  void HoldReplies() {
    messenger->SetMessageHandler("held", [this](const uint8_t* m, size_t n, BinaryReply reply) {
      std::lock_guard lock(heldMutex);
      held.emplace_back(Bytes(m, m + n), std::move(reply));
    });
  }
  size_t HeldCount() {
    std::lock_guard lock(heldMutex);
    return held.size();
  }
  bool WaitForHeld(size_t count) {
    for (int i = 0; i < 500 && HeldCount() < count; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return HeldCount() == count;
  }
  // The server still answers a fresh front end.
  bool StillServes() {
    RawPeer peer(path);
    peer.Write(RawFrame(1, 0, "echo", Text("ping")));
    auto frame = peer.Read();
    return frame && frame->payload == Text("ping");
  }

  tavlune::testing::TempDir folder;
  std::string path;
  std::shared_ptr<platform::MainQueue> mainQueue = std::make_shared<platform::MainQueue>();
  std::thread loop{[q = mainQueue] { q->run(); }};
  std::unique_ptr<SocketMessenger> messenger;
  std::mutex heldMutex;
  std::vector<std::pair<Bytes, BinaryReply>> held;
};

TEST(FrameLayout, BytesOnTheWire) {
  auto bytes = encodeFrame(Frame{0x01020304, FrameKind::reply, "ab", B({9, 8})});
  ASSERT_TRUE(bytes);
  EXPECT_EQ(*bytes, B({11, 0, 0, 0, 4, 3, 2, 1, 1, 2, 0, 'a', 'b', 9, 8}));
  EXPECT_EQ(*bytes, RawFrame(0x01020304, 1, "ab", B({9, 8})));
}

TEST(FrameLayout, RefusedOnEncoding) {
  EXPECT_FALSE(encodeFrame(Frame{1, FrameKind::message, "", {}}));
  EXPECT_FALSE(encodeFrame(Frame{1, FrameKind::message, std::string(kMaxChannelNameBytes + 1, 'c'), {}}));
  EXPECT_FALSE(encodeFrame(Frame{1, FrameKind::message, "\xff", {}}));
  EXPECT_FALSE(encodeFrame(Frame{1, FrameKind::message, "c", Bytes(kMaxFrameBodyBytes, 0)}));
}

TEST(FrameLayout, ReaderCutsStreamsAtFrameBoundaries) {
  const Bytes two = Cat({RawFrame(1, 0, "a", Text("xy")), RawFrame(2, 0, "bc", {})});
  FrameReader reader;
  std::vector<uint32_t> ids;
  // One byte at a time: nothing comes out before a frame is whole.
  for (uint8_t byte : two) {
    reader.Append(&byte, 1);
    auto next = reader.Next();
    ASSERT_TRUE(next);
    if (*next) ids.push_back((*next)->id);
  }
  EXPECT_EQ(ids, (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(reader.buffered(), 0u);
}

TEST_F(MessengerTest, SocketIsPrivate) {
  struct stat info;
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_TRUE(S_ISSOCK(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(MessengerTest, RepliesOutOfOrderReachTheirCalls) {
  HoldReplies();
  RawPeer peer(path);
  for (uint32_t id : {7u, 3u, 9u}) peer.Write(RawFrame(id, 0, "held", Text("call " + std::to_string(id))));
  ASSERT_TRUE(WaitForHeld(3));
  // Answered in reverse, one from another thread.
  std::thread([&] { held[2].second(held[2].first.data(), held[2].first.size()); }).join();
  for (int i : {1, 0}) held[i].second(held[i].first.data(), held[i].first.size());
  for (uint32_t id : {9u, 3u, 7u}) {
    auto frame = peer.Read();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->id, id);
    EXPECT_EQ(frame->kind, FrameKind::reply);
    EXPECT_EQ(frame->channel, "held");
    EXPECT_EQ(frame->payload, Text("call " + std::to_string(id)));
  }
}

TEST_F(MessengerTest, ClientMatchesConcurrentReplies) {
  HoldReplies();
  auto client = SocketMessengerClient::Connect(path);
  ASSERT_TRUE(client);
  std::vector<std::future<ClientReply>> replies;
  for (int i = 0; i < 5; ++i) replies.push_back((*client)->Send("held", Text("n" + std::to_string(i))));
  ASSERT_TRUE(WaitForHeld(5));
  for (int i : {3, 0, 4, 1, 2}) held[i].second(held[i].first.data(), held[i].first.size());
  for (int i = 0; i < 5; ++i) {
    auto reply = replies[i].get();
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, Text("n" + std::to_string(i)));
  }
  // A second answer to the same message goes nowhere.
  held[0].second(B({1}).data(), 1);
  auto echoed = (*client)->Send("echo", Text("after")).get();
  ASSERT_TRUE(echoed);
  EXPECT_EQ(*echoed, Text("after"));
}

TEST_F(MessengerTest, ChannelWithoutHandlerIsAnsweredEmpty) {
  auto client = SocketMessengerClient::Connect(path);
  ASSERT_TRUE(client);
  auto reply = (*client)->Send("nobody/listens", Text("x")).get();
  ASSERT_TRUE(reply);
  EXPECT_TRUE(reply->empty());
}

TEST_F(MessengerTest, MalformedFramesCloseOnlyThatConnection) {
  HoldReplies();
  struct Case {
    const char* name;
    Bytes bytes;
  } cases[] = {
      {"length over the cap", Frame32(kMaxFrameBodyBytes + 1)},
      {"body shorter than its fixed part", Cat({Frame32(6), B({1, 0, 0, 0, 0, 1})})},
      {"unknown kind", RawFrame(1, 7, "echo", {})},
      {"a reply from the front end", RawFrame(1, 1, "echo", Text("x"))},
      {"empty channel name", RawFrame(1, 0, "", Text("x"))},
      {"name runs past the frame", RawFrame(1, 0, "echo", {}, std::nullopt, 200)},
      {"name not UTF-8", RawFrame(1, 0, "\xc3\x28", {})},
      {"id already in flight", Cat({RawFrame(5, 0, "held", {}), RawFrame(5, 0, "held", {})})},
  };
  for (const auto& c : cases) {
    RawPeer peer(path);
    ASSERT_TRUE(peer.connected()) << c.name;
    peer.Write(c.bytes);
    EXPECT_TRUE(peer.ClosedWithoutReply()) << c.name;
    EXPECT_TRUE(StillServes()) << c.name;
  }
}

TEST_F(MessengerTest, FrontEndGoneWithCallsInFlight) {
  HoldReplies();
  {
    RawPeer peer(path);
    for (uint32_t id : {1u, 2u, 3u}) peer.Write(RawFrame(id, 0, "held", Text("x")));
    ASSERT_TRUE(WaitForHeld(3));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::thread([&] { held[0].second(B({1}).data(), 1); }).join();
  for (int i : {1, 2}) held[i].second(B({1}).data(), 1);
  EXPECT_TRUE(StillServes());
}

TEST_F(MessengerTest, HalfClosedFrontEndStillGetsItsReplies) {
  RawPeer peer(path);
  peer.Write(Cat({RawFrame(1, 0, "echo", Text("a")), RawFrame(2, 0, "echo", Text("b"))}));
  peer.ShutdownWrite();
  auto first = peer.Read();
  auto second = peer.Read();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->payload, Text("a"));
  EXPECT_EQ(second->payload, Text("b"));
  EXPECT_TRUE(peer.ClosedWithoutReply());  // then the server closes
}

TEST_F(MessengerTest, CallsInFlightAreCappedPerConnection) {
  messenger.reset();
  Start({.maxMessagesInFlight = 2});
  HoldReplies();
  RawPeer peer(path);
  for (uint32_t id = 1; id <= 5; ++id) peer.Write(RawFrame(id, 0, "held", {}));
  ASSERT_TRUE(WaitForHeld(2));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(HeldCount(), 2u);
  held[0].second(nullptr, 0);
  EXPECT_TRUE(WaitForHeld(3));
  for (size_t i = 1; i < 3; ++i) held[i].second(nullptr, 0);
  EXPECT_TRUE(WaitForHeld(5));
}

// A front end that never reads, or reads less than it asks for, is dropped
// every time, and the memory held for its replies never passes the limit.
// The trickle reader keeps the kernel taking bytes, which a queue that keeps
// what it has written until it runs dry would still be holding.
TEST_F(MessengerTest, FrontEndThatDoesNotReadIsDropped) {
  constexpr size_t kLimit = 2 * 1024 * 1024;
  struct Case {
    const char* name;
    size_t replyBytes;
    uint32_t callsPerRead;  // 0: never reads
  } cases[] = {
      {"never reads", 100000, 0},
      {"reads a reply for every two calls", 100000, 2},
      {"small replies, reads one in three", 1500, 3},
  };
  for (int run = 0; run < 3; ++run) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + ", run " + std::to_string(run));
      messenger.reset();
      Start({.maxPendingReplyBytes = kLimit});
      auto payload = [&](uint32_t id) { return Bytes(c.replyBytes, uint8_t(id * 7)); };
      RawPeer peer(path);
      // Ten times the calls it takes to fill the limit: still connected by then means never dropped.
      const uint32_t enough = uint32_t(10 * kLimit / c.replyBytes) * std::max(c.callsPerRead, 1u);
      uint32_t id = 1;
      bool dropped = false;
      for (; id <= enough && !dropped; ++id) {
        dropped = !peer.TryWrite(RawFrame(id, 0, "echo", payload(id)));
        if (!dropped && c.callsPerRead && id % c.callsPerRead == 0) {
          auto reply = peer.Read();
          dropped = !reply;
          // Replies cross block boundaries in the queue; they must come out whole and in order.
          if (reply) {
            ASSERT_EQ(reply->payload, payload(reply->id));
          }
        }
      }
      EXPECT_TRUE(dropped) << "still connected after " << enough << " calls";
      EXPECT_LE(messenger->peakReplyBytesHeld(), kLimit);
      // Not merely an empty server: it did hold replies close to the limit.
      EXPECT_GT(messenger->peakReplyBytesHeld(), kLimit / 2);
      EXPECT_TRUE(StillServes());
    }
  }
}

TEST_F(MessengerTest, CloseWritesGivenRepliesAndRemovesTheSocket) {
  HoldReplies();
  auto client = SocketMessengerClient::Connect(path);
  ASSERT_TRUE(client);
  auto given = (*client)->Send("held", Text("given"));
  auto dropped = (*client)->Send("held", Text("dropped"));
  ASSERT_TRUE(WaitForHeld(2));
  held[0].second(held[0].first.data(), held[0].first.size());
  messenger->Close();
  held[1].second(held[1].first.data(), held[1].first.size());
  auto reply = given.get();
  ASSERT_TRUE(reply);
  EXPECT_EQ(*reply, Text("given"));
  EXPECT_FALSE(dropped.get());
  EXPECT_FALSE(std::filesystem::exists(path));
  auto again = SocketMessengerClient::Connect(path);
  ASSERT_FALSE(again);
  EXPECT_TRUE(again.error().notRunning);
}

TEST_F(MessengerTest, ListenReplacesOnlyASocket) {
  messenger.reset();
  // A stale socket file from a crash is replaced.
  int stale = platform::makeStreamSocket().release();
  auto address = internal::socketAddress(path);
  ASSERT_EQ(::bind(stale, reinterpret_cast<const sockaddr*>(&*address), sizeof *address), 0);
  ::close(stale);
  EXPECT_TRUE(SocketMessenger::Listen(path, mainQueue));
  // Anything else is left alone.
  std::string file = folder.path() + "/plain";
  std::ofstream(file) << "keep";
  EXPECT_FALSE(SocketMessenger::Listen(file, mainQueue));
  EXPECT_TRUE(std::filesystem::is_regular_file(file));
  auto tooLong = SocketMessenger::Listen(folder.path() + "/" + std::string(120, 'x'), mainQueue);
  ASSERT_FALSE(tooLong);
  EXPECT_NE(tooLong.error().description.find("must be shorter than 108 bytes"), std::string::npos);
}

// A peer of another user is refused: the folder keeps it from the socket, and
// with the socket opened up to everybody, the peer check closes it unread.
TEST_F(MessengerTest, PeerOfAnotherUserIsRefused) {
  if (::geteuid() != 0) {
    if (std::getenv("CI")) FAIL() << "CI runs the tests as root";
    GTEST_SKIP() << "needs root to act as another user";
  }
  std::atomic<int> calls{0};
  messenger->SetMessageHandler("count", [&](const uint8_t*, size_t, BinaryReply reply) {
    ++calls;
    reply(nullptr, 0);
  });
  // The child makes no allocation after fork: other threads may hold the allocator's lock.
  const Bytes message = RawFrame(1, 0, "count", {});
  auto asNobody = [&](const std::string& socketPath) {
    auto address = internal::socketAddress(socketPath);
    pid_t child = fork();
    if (child == 0) {
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(10);
      int fd = socket(AF_UNIX, SOCK_STREAM, 0);
      if (connect(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) _exit(1);
      // The server may have closed it already; then the write fails and nothing is read.
      (void)!send(fd, message.data(), message.size(), MSG_NOSIGNAL);
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 5000) != 1) _exit(4);
      char byte;
      // End of stream or a reset: closed either way, with nothing sent back.
      _exit(read(fd, &byte, 1) > 0 ? 3 : 2);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  ASSERT_EQ(preparePrivateFolder(folder.path() + "/private").has_value(), true);
  std::string privatePath = folder.path() + "/private/channel.sock";
  auto privateMessenger = SocketMessenger::Listen(privatePath, mainQueue);
  ASSERT_TRUE(privateMessenger);
  EXPECT_EQ(asNobody(privatePath), 1) << "could reach a socket in an owner-only folder";

  ::chmod(folder.path().c_str(), 0755);
  ::chmod(path.c_str(), 0666);
  EXPECT_EQ(asNobody(path), 2) << "another user's call was answered";
  EXPECT_EQ(calls.load(), 0);
  EXPECT_TRUE(StillServes());
}

TEST(PrivateFolder, MadeAndKeptOwnerOnly) {
  tavlune::testing::TempDir folder;
  const std::string made = folder.path() + "/a/b/Tavlune";
  ASSERT_TRUE(preparePrivateFolder(made));
  struct stat info;
  ASSERT_EQ(::stat(made.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  ::chmod(made.c_str(), 0755);
  ASSERT_TRUE(preparePrivateFolder(made));
  ASSERT_EQ(::stat(made.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  // A link or a file in its place is refused, not followed.
  ASSERT_EQ(::symlink(made.c_str(), (folder.path() + "/link").c_str()), 0);
  EXPECT_FALSE(preparePrivateFolder(folder.path() + "/link"));
  std::ofstream(folder.path() + "/file") << "x";
  EXPECT_FALSE(preparePrivateFolder(folder.path() + "/file"));
}

// The method layer: what reaches a handler, and what goes back.
TEST_F(MessengerTest, MethodChannelEnvelopes) {
  MethodChannel channel(messenger.get(), "methods");
  channel.SetMethodCallHandler([](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    if (call.method_name() == "twice") {
      result->Success(EncodableValue(int32_t(2 * std::get<int32_t>(*call.arguments()))));
    } else if (call.method_name() == "fail") {
      result->Error("CODE", "message");
    }
    // Anything else: the result is dropped unanswered.
  });
  auto client = SocketMessengerClient::Connect(path);
  ASSERT_TRUE(client);
  auto send = [&](const Bytes& message) {
    auto reply = (*client)->Send("methods", message).get();
    EXPECT_TRUE(reply);
    return reply ? DecodeEnvelope(*reply) : platform::Result<MethodReply>(unexpected(platform::Error{"none"}));
  };
  auto twice = send(EncodeMethodCall(MethodCall("twice", EncodableValue(int32_t(21)))));
  ASSERT_TRUE(twice);
  EXPECT_EQ(*twice, MethodReply(SuccessReply{EncodableValue(int32_t(42))}));
  auto failed = send(EncodeMethodCall(MethodCall("fail")));
  ASSERT_TRUE(failed);
  EXPECT_EQ(*failed, MethodReply(FlutterError{"CODE", "message", std::nullopt}));
  auto dropped = send(EncodeMethodCall(MethodCall("drop")));
  ASSERT_TRUE(dropped);
  EXPECT_EQ(*dropped, MethodReply(NotImplementedReply{}));
  auto garbage = send(B({7, 1, 'x'}));
  ASSERT_TRUE(garbage);
  ASSERT_TRUE(std::holds_alternative<FlutterError>(*garbage));
  EXPECT_EQ(std::get<FlutterError>(*garbage).code, kMalformedMethodCallCode);
}

}  // namespace
}  // namespace tavlune::channel
