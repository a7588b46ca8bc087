#include "channel/engine_messenger.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <thread>

#include "channel/messenger_method_channel.h"
#include "channel/standard_codec.h"
#include "tests/channel/test_bytes.h"

namespace tavlune::channel {
namespace {

using namespace testing;

// The engine's side as the Objective-C++ bridge would present it: handlers
// by channel, every answer of every reply block recorded with its thread.
struct FakeEngine {
  std::map<std::string, EngineHandler> handlers;
  struct Answer {
    std::optional<Bytes> bytes;  // nullopt: nil
    std::thread::id thread;
  };
  std::vector<Answer> answers;

  EngineCalls calls() {
    return {[this](const std::string& channel, EngineHandler handler) {
              if (handler) handlers[channel] = std::move(handler);
              else handlers.erase(channel);
            },
            [this](const std::string& channel, std::vector<uint8_t> message, EngineReply reply) {
              handlers.at(channel)(message.data(), message.size(), std::move(reply));
            }};
  }
  void deliver(const std::string& channel, const Bytes& message) {
    handlers.at(channel)(message.data(), message.size(), [this](const uint8_t* bytes, size_t size) {
      answers.push_back({bytes ? std::optional<Bytes>(Bytes(bytes, bytes + size)) : std::nullopt,
                         std::this_thread::get_id()});
    });
  }
};

// How a handler treats its reply, and what the engine must see: every answer
// exactly once, on the main thread, nil for one never given.
TEST(EngineMessenger, EveryMessageIsAnsweredOnceOnTheMainThread) {
  const Bytes kAnswer = B({1, 2, 3});
  struct Case {
    const char* name;
    std::function<void(BinaryReply, const Bytes&)> handle;
    std::optional<Bytes> expected;  // nullopt: nil
    bool needsDrain;                // answered from another thread: after the main queue runs
  } cases[] = {
      {"answered on the main thread", [](BinaryReply r, const Bytes& a) { r(a.data(), a.size()); }, kAnswer, false},
      {"answered twice", [](BinaryReply r, const Bytes& a) { r(a.data(), a.size()); r(nullptr, 0); }, kAnswer, false},
      {"answered empty", [](BinaryReply r, const Bytes&) { r(nullptr, 0); }, std::nullopt, false},
      {"dropped unanswered", [](BinaryReply, const Bytes&) {}, std::nullopt, false},
      {"answered from another thread",
       [](BinaryReply r, const Bytes& a) {
         Bytes scratch = a;  // the answer's bytes are gone once the call returns
         std::thread([&] { r(scratch.data(), scratch.size()); }).join();
         scratch.assign(scratch.size(), 0);
       },
       kAnswer, true},
      {"dropped on another thread", [](BinaryReply r, const Bytes&) { std::thread([r = std::move(r)] {}).join(); },
       std::nullopt, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto mainQueue = std::make_shared<platform::MainQueue>();
    FakeEngine engine;
    EngineMessenger messenger(engine.calls(), mainQueue);
    messenger.SetMessageHandler("c", [&](const uint8_t*, size_t, BinaryReply reply) { c.handle(std::move(reply), kAnswer); });
    engine.deliver("c", B({9}));
    EXPECT_EQ(engine.answers.size(), c.needsDrain ? 0u : 1u);
    mainQueue->drain();
    ASSERT_EQ(engine.answers.size(), 1u);
    EXPECT_EQ(engine.answers[0].bytes, c.expected);
    EXPECT_EQ(engine.answers[0].thread, std::this_thread::get_id());
  }
}

TEST(EngineMessenger, CarriesMethodCallsAndRemovesHandlers) {
  auto mainQueue = std::make_shared<platform::MainQueue>();
  FakeEngine engine;
  EngineMessenger messenger(engine.calls(), mainQueue);
  MethodChannel channel(&messenger, "com.tavlune.app/vpn");
  channel.SetMethodCallHandler([](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    if (call.method_name() == "getProxyPort") result->Success(EncodableValue(int32_t{8080}));
  });
  engine.deliver("com.tavlune.app/vpn", EncodeMethodCall(MethodCall("getProxyPort")));
  engine.deliver("com.tavlune.app/vpn", EncodeMethodCall(MethodCall("unknown")));
  ASSERT_EQ(engine.answers.size(), 2u);
  auto port = DecodeEnvelope(*engine.answers[0].bytes);
  ASSERT_TRUE(port.has_value());
  EXPECT_EQ(*port, MethodReply(SuccessReply{EncodableValue(int32_t{8080})}));
  EXPECT_EQ(engine.answers[1].bytes, std::nullopt);  // not implemented is nil to Flutter

  // Sending reaches the engine with the bytes and brings its answer back.
  std::optional<Bytes> answered;
  messenger.SetMessageHandler("echo", [](const uint8_t* m, size_t n, BinaryReply r) { r(m, n); });
  const Bytes kMessage = B({4, 5});
  messenger.Send("echo", kMessage.data(), kMessage.size(),
                 [&](const uint8_t* bytes, size_t size) { answered = Bytes(bytes, bytes + size); });
  EXPECT_EQ(answered, kMessage);

  channel.SetMethodCallHandler(nullptr);
  EXPECT_EQ(engine.handlers.count("com.tavlune.app/vpn"), 0u);
}

// Under AppKit the main queue is served by the main dispatch queue: every post asks that loop for a drain, a
// delayed one after its delay, and an answer from another thread reaches the engine through it.
TEST(EngineMessenger, AnotherLoopServesTheMainQueue) {
  auto mainQueue = std::make_shared<platform::MainQueue>();
  std::vector<std::chrono::milliseconds> wakes;
  mainQueue->serveThrough([&](std::chrono::milliseconds delay) { wakes.push_back(delay); });
  FakeEngine engine;
  EngineMessenger messenger(engine.calls(), mainQueue);
  messenger.SetMessageHandler("c", [](const uint8_t*, size_t, BinaryReply reply) {
    std::thread([reply = std::move(reply)] { reply(nullptr, 0); }).join();
  });
  engine.deliver("c", B({1}));
  mainQueue->asyncAfter(std::chrono::milliseconds(250), [] {});
  EXPECT_EQ(wakes, (std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(0), std::chrono::milliseconds(250)}));
  EXPECT_TRUE(engine.answers.empty());
  mainQueue->drain();  // what the woken loop does
  EXPECT_EQ(engine.answers.size(), 1u);
}

}  // namespace
}  // namespace tavlune::channel
