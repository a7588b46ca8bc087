#include "channel/socket_messenger.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <thread>

#include "channel/socket_messenger_client.h"
#include "channel/socket_messenger_frame.h"
#include "channel/socket_messenger_path.h"
#include "platform/socket/unix_socket.h"
#include "tests/channel/test_bytes.h"
#include "tests/support/temp_dir.h"

namespace tavlune::channel {
namespace {

using namespace testing;
namespace fs = std::filesystem;

Bytes U32(uint32_t v) { return B({int(v & 0xff), int(v >> 8 & 0xff), int(v >> 16 & 0xff), int(v >> 24)}); }
// A frame by hand: length, id, kind, name length, name, payload.
Bytes RawFrame(uint32_t id, int kind, const std::string& channel, const Bytes& payload) {
  const int n = int(channel.size());
  Bytes body = Cat({U32(id), B({kind, n & 0xff, n >> 8}), Text(channel), payload});
  return Cat({U32(uint32_t(body.size())), body});
}
bool SendBytes(int fd, const Bytes& b) {
  return platform::sendAll(fd, std::string_view(reinterpret_cast<const char*>(b.data()), b.size())).has_value();
}
int OpenFds() { return int(std::distance(fs::directory_iterator("/proc/self/fd"), {})); }

struct RawPeer {  // a front end speaking frames by hand
  explicit RawPeer(const std::string& path) {
    auto address = channelSocketAddress(path);
    (void)!::connect(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address);
  }
  ~RawPeer() { ::close(fd); }
  int fd = platform::makeStreamSocket().release();
};

// The application's side: a messenger whose main queue is served by a thread. Channel "held" keeps each
// message and its reply until the test answers it.
class MessengerTest : public ::testing::Test {
 protected:
  void SetUp() override { Start({}); }
  void TearDown() override {
    messenger.reset();
    mainQueue->stop();
    loop.join();
  }
  void Start(SocketMessengerLimits limits) {
    messenger.reset();
    auto listening = SocketMessenger::listen(path, mainQueue, limits);
    ASSERT_TRUE(listening) << listening.error().description;
    messenger = std::move(*listening);
    messenger->SetMessageHandler("held", [this](const uint8_t* m, size_t n, BinaryReply reply) {
      std::lock_guard lock(heldMutex);
      held.emplace_back(Bytes(m, m + n), std::move(reply));
    });
  }
  bool WaitForHeld(size_t count) {
    auto heldCount = [&] { std::lock_guard lock(heldMutex); return held.size(); };
    for (int i = 0; i < 500 && heldCount() < count; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return heldCount() == count;
  }
  void Echo(size_t i) { held[i].second(held[i].first.data(), held[i].first.size()); }

  tavlune::testing::TempDir folder;
  std::string path = folder / "channel.sock";
  std::shared_ptr<platform::MainQueue> mainQueue = std::make_shared<platform::MainQueue>();
  std::thread loop{[q = mainQueue] { q->run(); }};
  std::unique_ptr<SocketMessenger> messenger;
  std::mutex heldMutex;
  std::vector<std::pair<Bytes, BinaryReply>> held;
};

TEST(FrameLayout, BytesOnTheWireAndFrameBoundaries) {
  auto bytes = encodeFrame(Frame{0x01020304, FrameKind::reply, "ab", B({9, 8})});
  ASSERT_TRUE(bytes);
  EXPECT_EQ(*bytes, B({11, 0, 0, 0, 4, 3, 2, 1, 1, 2, 0, 'a', 'b', 9, 8}));
  for (const auto& [name, body] : {std::pair<std::string, Bytes>{"", {}}, {std::string(kMaxChannelNameBytes + 1, 'c'), {}},
                                   {"\xff", {}}, {"c", Bytes(kMaxFrameBodyBytes, 0)}}) {
    EXPECT_FALSE(encodeFrame(Frame{1, FrameKind::message, name, body})) << name.size();
  }
  FrameReader reader;  // fed one byte at a time: nothing comes out before a frame is whole
  std::vector<uint32_t> ids;
  for (uint8_t byte : Cat({RawFrame(1, 0, "a", Text("xy")), RawFrame(2, 0, "bc", {})})) {
    reader.append(&byte, 1);
    auto next = reader.next();
    ASSERT_TRUE(next);
    if (*next) ids.push_back((*next)->id);
  }
  EXPECT_EQ(ids, (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(reader.buffered(), 0u);
}

// A frame that answers nothing the client asked fails every call still waiting, saying so.
TEST(MessengerClient, ReplyToNothingAskedFailsTheWaitingCalls) {
  tavlune::testing::TempDir folder;
  const std::string path = folder / "s";
  auto address = channelSocketAddress(path);
  platform::UniqueFd server = platform::makeStreamSocket();
  ASSERT_EQ(::bind(server.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address), 0);
  ASSERT_EQ(::listen(server.get(), 1), 0);
  auto client = SocketMessengerClient::connect(path);
  ASSERT_TRUE(client);
  auto waiting = (*client)->send("c", Text("x"));
  platform::UniqueFd front(::accept(server.get(), nullptr, nullptr));
  ASSERT_TRUE(SendBytes(front.get(), RawFrame(99, 1, "c", {})));
  auto reply = waiting.get();
  ASSERT_FALSE(reply);
  EXPECT_TRUE(reply.error().description.starts_with("TavluneDesktop sent a frame that answers nothing")) << reply.error().description;
}

TEST_F(MessengerTest, CallsInFlightAreCappedPerConnection) {
  Start({.maxMessagesInFlight = 2});
  RawPeer peer(path);
  for (uint32_t id = 1; id <= 5; ++id) ASSERT_TRUE(SendBytes(peer.fd, RawFrame(id, 0, "held", {})));
  ASSERT_TRUE(WaitForHeld(2));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(WaitForHeld(2));
  Echo(0);
  EXPECT_TRUE(WaitForHeld(3));
  Echo(1);
  Echo(2);
  EXPECT_TRUE(WaitForHeld(5));
}

// Front ends left open and silent never lock the others out: a newcomer takes
// the place of the one idle longest, and is turned away only while every
// place has a call unanswered.
TEST_F(MessengerTest, IdleFrontEndsGiveWayToANewOne) {
  Start({.maxConnections = 2});
  auto closedByUs = [](int fd) { pollfd p{fd, POLLIN, 0}; char byte; return ::poll(&p, 1, 2000) == 1 && ::read(fd, &byte, 1) == 0; };
  RawPeer oldest(path), idle(path);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(SendBytes(idle.fd, RawFrame(1, 0, "held", {})) && WaitForHeld(1));  // active lately, then answered
  Echo(0);
  RawPeer newcomer(path);
  ASSERT_TRUE(SendBytes(newcomer.fd, RawFrame(2, 0, "held", {})) && WaitForHeld(2));
  EXPECT_TRUE(closedByUs(oldest.fd));
  ASSERT_TRUE(SendBytes(idle.fd, RawFrame(3, 0, "held", {})) && WaitForHeld(3));  // both places busy now
  RawPeer turnedAway(path);
  EXPECT_TRUE(closedByUs(turnedAway.fd));
}

TEST_F(MessengerTest, CloseWritesGivenRepliesAndRemovesTheSocket) {
  auto client = SocketMessengerClient::connect(path);
  ASSERT_TRUE(client);
  auto given = (*client)->send("held", Text("given"));
  auto dropped = (*client)->send("held", Text("dropped"));
  ASSERT_TRUE(WaitForHeld(2));
  Echo(0);
  messenger->close();
  Echo(1);
  EXPECT_EQ(given.get().value(), Text("given"));
  EXPECT_FALSE(dropped.get());
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(SocketMessengerClient::connect(path).error().notRunning);
}

// The socket is private; a stale socket file from a crash is replaced, anything else left alone; a
// messenger gone leaves no descriptor open.
TEST_F(MessengerTest, ListenMakesAPrivateSocketAndReplacesOnlyASocket) {
  EXPECT_TRUE(fs::is_socket(path));
  EXPECT_EQ(fs::status(path).permissions(), fs::perms(0600));
  messenger.reset();
  const int fds = OpenFds();
  {
    RawPeer stale(path);  // binds instead of connecting
    auto address = channelSocketAddress(path);
    ASSERT_EQ(::bind(stale.fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address), 0);
  }
  EXPECT_TRUE(SocketMessenger::listen(path, mainQueue));
  const std::string file = folder.write("plain", "keep");
  EXPECT_FALSE(SocketMessenger::listen(file, mainQueue));
  EXPECT_TRUE(fs::is_regular_file(file));
  EXPECT_FALSE(SocketMessenger::listen(folder / std::string(120, 'x'), mainQueue));  // too long for an address
  EXPECT_EQ(OpenFds(), fds);
}

// Replies a front end never reads are bounded: past the limit it is dropped, not buffered without end.
TEST_F(MessengerTest, FrontEndThatDoesNotReadIsDropped) {
  Start({.maxPendingReplyBytes = 2 << 20});
  messenger->SetMessageHandler("echo", [](const uint8_t* m, size_t n, BinaryReply reply) { reply(m, n); });
  RawPeer peer(path);
  bool dropped = false;
  for (uint32_t id = 1; id <= 400 && !dropped; ++id) dropped = !SendBytes(peer.fd, RawFrame(id, 0, "echo", Bytes(100000, 7)));
  EXPECT_TRUE(dropped);
}

// Only the application's own user may speak to it, whatever the socket's mode.
TEST_F(MessengerTest, PeerOfAnotherUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  ASSERT_EQ(::chmod(folder.path().c_str(), 0755) | ::chmod(path.c_str(), 0666), 0);
  const Bytes message = RawFrame(1, 0, "held", {});
  auto address = channelSocketAddress(path);
  const pid_t child = ::fork();  // the child allocates nothing: another thread may hold the allocator's lock
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(10);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) _exit(1);
    (void)!::send(fd, message.data(), message.size(), MSG_NOSIGNAL);
    pollfd p{fd, POLLIN, 0};
    char byte;
    _exit(::poll(&p, 1, 5000) != 1 ? 4 : ::read(fd, &byte, 1) > 0 ? 3 : 2);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 2);  // closed, nothing sent back
  std::lock_guard lock(heldMutex);
  EXPECT_TRUE(held.empty());
}

}  // namespace
}  // namespace tavlune::channel
