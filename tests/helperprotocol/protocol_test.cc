#include "helperprotocol/protocol.h"

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "helperprotocol/framing.h"

namespace tavlune::helperprotocol {
namespace {

TEST(Protocol, AddressLayout) {
  sockaddr_un address = makeAddress();
  const auto* bytes = reinterpret_cast<const uint8_t*>(&address);
  EXPECT_EQ(address.sun_family, AF_UNIX);
  EXPECT_EQ(std::memcmp(address.sun_path, kSocketPath.data(), kSocketPath.size()), 0);
  for (std::size_t i = offsetof(sockaddr_un, sun_path) + kSocketPath.size(); i < kAddressLength; ++i)
    EXPECT_EQ(bytes[i], 0) << i;
  // A path too long for the field is cut, never run past it.
  sockaddr_un longAddress = makeAddress(std::string(200, 'a'));
  EXPECT_EQ(std::strlen(longAddress.sun_path), kAddressLength - offsetof(sockaddr_un, sun_path) - 1);
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

// Hands out the scripted chunks in turn (at most as much as asked for), then the given end.
ChunkReader scripted(std::deque<std::string> chunks, ReadChunkResult::Kind end, std::vector<std::size_t>* asked) {
  return [chunks = std::move(chunks), end, asked](std::span<uint8_t> buffer) mutable -> ReadChunkResult {
    if (asked) asked->push_back(buffer.size());
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
  const auto message = FramingOutcome::message, none = FramingOutcome::noMessage;
  const std::string big(kMaxMessageBytes, 'x');
  struct Case {
    const char* name;
    std::deque<std::string> chunks;
    Kind end;
    FramedMessage expected;
  };
  for (const auto& c : std::vector<Case>{
           {"one line", {"ab\n"}, Kind::endOfStream, {message, "ab\n"}},
           {"bytes after the line feed kept", {"ab\ncd"}, Kind::endOfStream, {message, "ab\ncd"}},
           {"line feed in a later chunk", {"ab", "c", "\nd"}, Kind::failed, {message, "abc\nd"}},
           {"later chunks not read", {"a\n", "never"}, Kind::endOfStream, {message, "a\n"}},
           {"nothing", {}, Kind::endOfStream, {none, ""}},
           {"first read fails", {}, Kind::failed, {none, ""}},
           {"close ends a message", {"abc"}, Kind::endOfStream, {message, "abc"}},
           {"failure ends a message", {"abc"}, Kind::failed, {message, "abc"}},
           {"deadline is never a message", {"abc"}, Kind::timedOut, {FramingOutcome::timedOut, ""}},
           {"65536 then close", {big}, Kind::endOfStream, {message, big}},
           {"65536 then line feed", {big, "\n"}, Kind::endOfStream, {message, big + "\n"}},
           {"65537 without line feed", {big + "y"}, Kind::endOfStream, {none, ""}},
           {"65537 then line feed later", {big + "y", "\n"}, Kind::endOfStream, {none, ""}},
           {"line feed in the chunk that crosses", {big + "y\n"}, Kind::endOfStream, {message, big + "y\n"}}}) {
    FramedMessage got = readMessage(scripted(c.chunks, c.end, nullptr));
    EXPECT_EQ(got.outcome, c.expected.outcome) << c.name;
    EXPECT_EQ(got.bytes, c.expected.bytes) << c.name;
  }
}

TEST(Framing, ReadsAtMost4096BytesAtATime) {
  std::vector<std::size_t> asked;
  readMessage(scripted({std::string(9999, 'x') + "\n"}, ReadChunkResult::Kind::endOfStream, &asked));
  EXPECT_EQ(asked, std::vector<std::size_t>(3, kReadChunkBytes));
}

}  // namespace
}  // namespace tavlune::helperprotocol
