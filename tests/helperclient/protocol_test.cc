#include "helperclient/protocol.h"

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "helperclient/framing.h"

namespace tavlune::helper {
namespace {

TEST(Protocol, AddressLayout) {
  sockaddr_un address = makeAddress();
  const auto* bytes = reinterpret_cast<const uint8_t*>(&address);
  EXPECT_EQ(address.sun_family, AF_UNIX);
  EXPECT_EQ(kSocketPath.size(), 37u);
  EXPECT_EQ(std::memcmp(address.sun_path, kSocketPath.data(), kSocketPath.size()), 0);
  for (std::size_t i = offsetof(sockaddr_un, sun_path) + kSocketPath.size(); i < kAddressLength; ++i)
    EXPECT_EQ(bytes[i], 0) << i;
  EXPECT_EQ(kAddressLength, 106u);

  // A path too long for the field is cut, never run past it.
  sockaddr_un longAddress = makeAddress(std::string(200, 'a'));
  const std::size_t field = kAddressLength - offsetof(sockaddr_un, sun_path);
  EXPECT_EQ(std::strlen(longAddress.sun_path), field - 1);
}

TEST(Protocol, RequestLines) {
  EXPECT_EQ(encodeRequest({"ping"}).value(), "{\"command\":\"ping\"}\n");
  EXPECT_EQ(encodeRequest({"/usr/sbin/networksetup -x 'a\"b'"}).value(),
            "{\"command\":\"\\/usr\\/sbin\\/networksetup -x 'a\\\"b'\"}\n");

  struct Case {
    const char* name;
    std::string message;
    std::optional<Request> expected;
  };
  for (const Case& c : std::vector<Case>{
           {"plain", "{\"command\":\"ping\"}\n", Request{"ping"}},
           {"escaped slashes", "{\"command\":\"\\/usr\\/sbin\"}\n", Request{"/usr/sbin"}},
           {"unescaped slashes", "{\"command\":\"/usr/sbin\"}", Request{"/usr/sbin"}},
           {"unicode escape", "{\"command\":\"\\u00e9\"}", Request{"\u00e9"}},
           {"other keys", "{\"a\":1,\"command\":\"x\",\"b\":null}", Request{"x"}},
           {"command not a string", "{\"command\":true}", std::nullopt},
           {"no command", "{}", std::nullopt},
           {"array", "[]", std::nullopt},
           {"empty", "", std::nullopt},
           {"not JSON", "command=ping", std::nullopt},
           {"trailing bytes", "{\"command\":\"ping\"}\nx", std::nullopt},
       }) {
    EXPECT_EQ(decodeRequest(c.message), c.expected) << c.name;
  }
}

TEST(Protocol, ReplyLines) {
  EXPECT_EQ(encodeReply(Reply::pong()).value(), "{\"ok\":true,\"version\":2}\n");
  EXPECT_EQ(encodeReply(Reply::success()).value(), "{\"ok\":true}\n");
  EXPECT_EQ(encodeReply(Reply::failure("a/b \"c\"")).value(), "{\"error\":\"a\\/b \\\"c\\\"\",\"ok\":false}\n");
  EXPECT_FALSE(encodeReply(Reply::failure("\xff")));

  for (const Reply& reply : {Reply::pong(), Reply::success(), Reply::failure("x"), Reply::failure("")})
    EXPECT_EQ(decodeReply(encodeReply(reply).value()), reply);
  EXPECT_EQ(decodeReply("{\"ok\":false}"), (Reply{false, std::nullopt, std::nullopt}));
  EXPECT_EQ(decodeReply("{\"ok\":true,\"version\":2.5}"), (Reply{true, std::nullopt, std::nullopt}));
  EXPECT_FALSE(decodeReply("{\"ok\":1}"));
  EXPECT_FALSE(decodeReply("{\"error\":\"x\"}"));
}

// A reader that hands out the scripted chunks in turn, then the given end.
ChunkReader scripted(std::deque<std::string> chunks, ReadChunkResult::Kind end) {
  return [chunks = std::move(chunks), end](std::span<uint8_t> buffer) mutable -> ReadChunkResult {
    if (chunks.empty()) return {end, 0};
    std::string chunk = std::move(chunks.front());
    chunks.pop_front();
    std::size_t n = std::min(chunk.size(), buffer.size());
    std::memcpy(buffer.data(), chunk.data(), n);
    if (n < chunk.size()) chunks.push_front(chunk.substr(n));
    return {ReadChunkResult::Kind::bytes, n};
  };
}

TEST(Framing, Table) {
  using Kind = ReadChunkResult::Kind;
  const std::string big(kMaxMessageBytes, 'x');
  struct Case {
    const char* name;
    std::deque<std::string> chunks;
    Kind end;
    FramedMessage expected;
  };
  const std::vector<Case> cases = {
      {"one line", {"ab\n"}, Kind::endOfStream, {FramingOutcome::message, "ab\n"}},
      {"bytes after the line feed kept", {"ab\ncd"}, Kind::endOfStream, {FramingOutcome::message, "ab\ncd"}},
      {"line feed in a later chunk", {"ab", "c", "\nd"}, Kind::failed, {FramingOutcome::message, "abc\nd"}},
      {"later chunks not read", {"a\n", "never"}, Kind::endOfStream, {FramingOutcome::message, "a\n"}},
      {"nothing", {}, Kind::endOfStream, {FramingOutcome::noMessage, ""}},
      {"first read fails", {}, Kind::failed, {FramingOutcome::noMessage, ""}},
      {"close ends a message", {"abc"}, Kind::endOfStream, {FramingOutcome::message, "abc"}},
      {"failure ends a message", {"abc"}, Kind::failed, {FramingOutcome::message, "abc"}},
      {"deadline is never a message", {"abc"}, Kind::timedOut, {FramingOutcome::timedOut, ""}},
      {"deadline first", {}, Kind::timedOut, {FramingOutcome::timedOut, ""}},
      {"65536 then close", {big}, Kind::endOfStream, {FramingOutcome::message, big}},
      {"65536 then line feed", {big, "\n"}, Kind::endOfStream, {FramingOutcome::message, big + "\n"}},
      {"65537 without line feed", {big + "y"}, Kind::endOfStream, {FramingOutcome::noMessage, ""}},
      {"65537 then line feed later", {big + "y", "\n"}, Kind::endOfStream, {FramingOutcome::noMessage, ""}},
      {"line feed in the chunk that crosses", {big + "y\n"}, Kind::endOfStream,
       {FramingOutcome::message, big + "y\n"}},
  };
  for (const auto& c : cases) {
    FramedMessage got = readMessage(scripted(c.chunks, c.end));
    EXPECT_EQ(got.outcome, c.expected.outcome) << c.name;
    EXPECT_EQ(got.bytes, c.expected.bytes) << c.name;
  }
}

TEST(Framing, ReadsAtMost4096BytesAtATime) {
  std::vector<std::size_t> asked;
  std::string data(10000, 'x');
  data.back() = '\n';
  std::size_t given = 0;
  readMessage([&](std::span<uint8_t> buffer) -> ReadChunkResult {
    asked.push_back(buffer.size());
    std::size_t n = std::min(buffer.size(), data.size() - given);
    std::memcpy(buffer.data(), data.data() + given, n);
    given += n;
    return n ? ReadChunkResult{ReadChunkResult::Kind::bytes, n} : ReadChunkResult{ReadChunkResult::Kind::endOfStream, 0};
  });
  for (std::size_t size : asked) EXPECT_EQ(size, kReadChunkBytes);
  EXPECT_EQ(asked.size(), 3u);
}

}  // namespace
}  // namespace tavlune::helper
