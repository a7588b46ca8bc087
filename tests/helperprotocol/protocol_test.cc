#include "helperprotocol/protocol.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <deque>
#include <thread>

#include "helperprotocol/exchange.h"
#include "helperprotocol/framing.h"
#include "helperprotocol/networksetup_invocations.h"
#include "helperprotocol/shell_words.h"
#include "platform/unique_fd.h"
#include "tests/support/temp_dir.h"

namespace tavlune::helperprotocol {
namespace {

TEST(Protocol, LinesBothWays) {
  // A path too long for the field is cut, never run past it.
  EXPECT_EQ(std::strlen(makeAddress(std::string(200, 'a')).sun_path), kAddressLength - offsetof(sockaddr_un, sun_path) - 1);
  EXPECT_FALSE(encodeRequest({"\xff"}));
  EXPECT_EQ(encodeReply(Reply::pong()).value(), "{\"ok\":true,\"version\":2}\n");
  EXPECT_EQ(encodeReply(Reply::failure("a/b \"c\"")).value(), "{\"error\":\"a\\/b \\\"c\\\"\",\"ok\":false}\n");
  EXPECT_FALSE(encodeReply(Reply::failure("\xff")));
  for (const Reply& reply : {Reply::pong(), Reply::success(), Reply::failure("x"), Reply::failure("")})
    EXPECT_EQ(decodeReply(encodeReply(reply).value()).value(), reply);
  EXPECT_EQ(decodeReply("{\"ok\":true,\"version\":2.5}").value(), Reply::success());
  EXPECT_EQ(decodeReply("{\"ok\":1,\"error\":7}").value(), Reply{});
}

// The quoting and its inverse agree on any value, and every subcommand's writer makes what its reader takes.
TEST(NetworksetupInvocations, WrittenAsReadBack) {
  for (std::string value : {"", "it's", "''", "\"'\"", "$(x) `y`; a && b | *?", "Bob's \"Lab\" \u2014 caf\u00e9", "a\tb\nc"}) {
    auto words = shellWords(shellQuoted(value));
    ASSERT_TRUE(words && words->size() == 1) << value;
    EXPECT_EQ(std::pair(words->front().value, words->front().bare), std::pair(value, false));
  }
  namespace ns = networksetup;
  const std::string login = ns::loginArguments("o'neil", "");
  for (const auto& [subcommand, arguments] : std::initializer_list<std::pair<ns::Subcommand, std::string>>{
           {ns::kSetWebProxyState, "on"}, {ns::kSetProxyAutoDiscovery, "off"}, {ns::kSetProxyBypassDomains, "Empty"},
           {ns::kSetProxyBypassDomains, shellQuoted("*.local") + " ::1"}, {ns::kSetSocksFirewallProxy, ns::serverArguments("h", -1, login)},
           {ns::kSetWebProxy, ns::serverArguments("h'", 80, ns::loginArguments(std::nullopt, "p"))}, {ns::kSetAutoProxyUrl, shellQuoted("http://x/?a&b")}}) {
    auto words = shellWords(ns::invocation(subcommand, shellQuoted("Wi-Fi"), arguments));
    EXPECT_TRUE(words && ns::invokedSubcommand(*words) && ns::invokedSubcommand(*words)->name == subcommand.name) << arguments;
  }
  EXPECT_EQ(login, "on 'o'\"'\"'neil' ''");
}

TEST(Framing, Table) {
  using Kind = ReadChunkResult::Kind;
  const auto message = FramingOutcome::message, none = FramingOutcome::noMessage;
  const std::string big(kMaxMessageBytes, 'x');
  for (auto [chunks, end, expected] : std::vector<std::tuple<std::deque<std::string>, Kind, FramedMessage>>{
           {{"ab\ncd", "never"}, Kind::endOfStream, {message, "ab\ncd"}},
           {{"ab", "c", "\nd"}, Kind::failed, {message, "abc\nd"}},
           {{}, Kind::endOfStream, {none, ""}},
           {{}, Kind::failed, {none, ""}},
           {{"abc"}, Kind::endOfStream, {message, "abc"}},
           {{"abc"}, Kind::failed, {message, "abc"}},
           {{"abc"}, Kind::timedOut, {FramingOutcome::timedOut, ""}},
           {{big}, Kind::endOfStream, {message, big}},
           {{big, "\n"}, Kind::endOfStream, {message, big + "\n"}},
           {{big + "y", "\n"}, Kind::endOfStream, {none, ""}},
           {{big + "y\n"}, Kind::endOfStream, {message, big + "y\n"}}}) {
    FramedMessage got = readMessage([&](std::span<uint8_t> buffer) -> ReadChunkResult {
      EXPECT_EQ(buffer.size(), kReadChunkBytes);
      if (chunks.empty()) return {end, 0};
      std::size_t n = std::min(chunks.front().size(), buffer.size());
      std::memcpy(buffer.data(), chunks.front().data(), n);
      if (chunks.front().erase(0, n).empty()) chunks.pop_front();
      return {Kind::bytes, n};
    });
    EXPECT_EQ(std::pair(got.outcome, got.bytes), std::pair(expected.outcome, expected.bytes)) << expected.bytes.size();
  }
}

// A socket's end of stream, with an EAGAIN from an earlier call still in errno.
TEST(Framing, CloseEndsTheMessageOnASocket) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  ASSERT_EQ(write(pair[1], "ab", 2), 2);
  close(pair[1]);
  errno = EAGAIN;
  FramedMessage got = readMessage(pair[0], 3000);
  close(pair[0]);
  EXPECT_EQ(got.outcome, FramingOutcome::message);
  EXPECT_EQ(got.bytes, "ab");
}

// The hook runs once, after the request is out and only then; a peer that
// answers is read whether or not there is a hook.
TEST(Exchange, HandsOverOnceAndReadsTheReply) {
  tavlune::testing::TempDir dir;
  const std::string path = dir.file("helper.sock");
  platform::UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM, 0));
  sockaddr_un address = makeAddress(path);
  ASSERT_EQ(::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), kAddressLength), 0);
  int hooked = 0;
  Exchange refused = exchange(path, "x\n", std::chrono::seconds(5), [&] { ++hooked; });
  EXPECT_TRUE(refused.reach == Reach::refused && refused.connectError && hooked == 0);
  ASSERT_EQ(::listen(listener.get(), 4), 0);
  std::thread daemon([&] {
    for (int i = 0; i < 2; ++i) {
      platform::UniqueFd peer(::accept(listener.get(), nullptr, nullptr));
      char got[8];
      if (::read(peer.get(), got, sizeof got) > 0) (void)!::write(peer.get(), "ok\n", 3);
    }
  });
  Exchange hookedOnce = exchange(path, "x\n", std::chrono::seconds(5), [&] { ++hooked; });
  Exchange without = exchange(path, "x\n", std::chrono::seconds(5));
  daemon.join();
  EXPECT_EQ(hooked, 1);
  for (const Exchange& done : {hookedOnce, without})
    EXPECT_TRUE(done.reach == Reach::answered && done.requestWritten && done.reply == "ok\n");
}

}  // namespace
}  // namespace tavlune::helperprotocol
