#include "channel/engine_messenger.h"

#include <atomic>
#include <utility>

namespace tavlune::channel {
namespace {

// One engine reply, answered once, on the main thread; nil if never answered.
class ReplyOnce {
 public:
  ReplyOnce(EngineReply reply, std::shared_ptr<platform::MainQueue> mainQueue)
      : reply_(std::move(reply)), mainQueue_(std::move(mainQueue)) {}
  ReplyOnce(const ReplyOnce&) = delete;
  ReplyOnce& operator=(const ReplyOnce&) = delete;
  ~ReplyOnce() { answer(nullptr, 0); }

  void answer(const uint8_t* bytes, size_t size) {
    if (answered_.exchange(true)) return;
    if (mainQueue_->isMainThread()) {
      reply_(bytes, size);
      return;
    }
    // The bytes are the caller's only for the call: copied for the hop.
    std::vector<uint8_t> copy(bytes, bytes + size);
    mainQueue_->async([reply = std::move(reply_), copy = std::move(copy)] {
      reply(copy.empty() ? nullptr : copy.data(), copy.size());
    });
  }

 private:
  EngineReply reply_;
  std::shared_ptr<platform::MainQueue> mainQueue_;
  std::atomic<bool> answered_{false};
};

}  // namespace

EngineMessenger::EngineMessenger(EngineCalls engine, std::shared_ptr<platform::MainQueue> mainQueue)
    : engine_(std::move(engine)), mainQueue_(std::move(mainQueue)) {}

void EngineMessenger::Send(const std::string& channel, const uint8_t* message, size_t message_size,
                           BinaryReply reply) const {
  EngineReply engineReply;
  if (reply) engineReply = [reply = std::move(reply)](const uint8_t* bytes, size_t size) { reply(bytes, size); };
  engine_.send(channel, std::vector<uint8_t>(message, message + message_size), std::move(engineReply));
}

void EngineMessenger::SetMessageHandler(const std::string& channel, BinaryMessageHandler handler) {
  if (!handler) {
    engine_.setMessageHandler(channel, nullptr);
    return;
  }
  engine_.setMessageHandler(channel, [handler = std::move(handler), mainQueue = mainQueue_](
                                         const uint8_t* message, size_t size, EngineReply reply) {
    auto once = std::make_shared<ReplyOnce>(std::move(reply), mainQueue);
    handler(message, size, [once = std::move(once)](const uint8_t* bytes, size_t replySize) {
      once->answer(bytes, replySize);
    });
  });
}

}  // namespace tavlune::channel
