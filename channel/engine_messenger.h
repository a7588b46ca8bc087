// The binary messenger over the Flutter engine's, for the macOS shell: the
// Objective-C++ bridge turns FlutterBinaryMessenger's two calls into the
// function objects below and gets a BinaryMessenger the method channel runs
// on, exactly as on the channel socket. Only bytes cross: NSData in, NSData
// (or nil, "not implemented") out.
//
// Flutter's reply block must be called exactly once and on the main thread;
// this side makes sure of both: a second answer is dropped, an answer from
// another thread is posted to the main queue, and a reply that is dropped
// unanswered answers nil, so the engine's caller never waits for ever.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "channel/messenger.h"
#include "platform/dispatch/main_queue.h"

namespace tavlune::channel {

// A FlutterBinaryReply: the answer's bytes, (nullptr, 0) for nil.
using EngineReply = std::function<void(const uint8_t* bytes, size_t size)>;
// What the engine calls for a message on a channel; runs on the main thread.
using EngineHandler = std::function<void(const uint8_t* message, size_t size, EngineReply reply)>;

struct EngineCalls {
  // setMessageHandlerOnChannel:binaryMessageHandler:; an empty handler is nil.
  std::function<void(const std::string& channel, EngineHandler handler)> setMessageHandler;
  // sendOnChannel:message:binaryReply:; an empty reply is nil.
  std::function<void(const std::string& channel, std::vector<uint8_t> message, EngineReply reply)> send;
};

class EngineMessenger final : public BinaryMessenger {
 public:
  EngineMessenger(EngineCalls engine, std::shared_ptr<platform::MainQueue> mainQueue);

  void Send(const std::string& channel, const uint8_t* message, size_t message_size,
            BinaryReply reply = nullptr) const override;
  void SetMessageHandler(const std::string& channel, BinaryMessageHandler handler) override;

 private:
  EngineCalls engine_;
  std::shared_ptr<platform::MainQueue> mainQueue_;
};

}  // namespace tavlune::channel
