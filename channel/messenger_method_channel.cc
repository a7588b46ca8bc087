#include "channel/messenger_method_channel.h"

#include <utility>

#include "channel/standard_codec.h"

namespace tavlune::channel {
namespace {

class EnvelopeResult final : public MethodResult {
 public:
  explicit EnvelopeResult(BinaryReply reply) : reply_(std::move(reply)) {}
  ~EnvelopeResult() override {
    if (!answered()) NotImplemented();
  }

 protected:
  void SuccessInternal(const EncodableValue* result) override { Send(EncodeSuccessEnvelope(result)); }
  void ErrorInternal(const std::string& code, const std::string& message, const EncodableValue* details) override {
    Send(EncodeErrorEnvelope(code, message, details));
  }
  void NotImplementedInternal() override { Send({}); }

 private:
  void Send(const std::vector<uint8_t>& envelope) {
    if (reply_) reply_(envelope.data(), envelope.size());
  }

  BinaryReply reply_;
};

}  // namespace

std::unique_ptr<MethodResult> makeEnvelopeResult(BinaryReply reply) {
  return std::make_unique<EnvelopeResult>(std::move(reply));
}

MethodChannel::MethodChannel(BinaryMessenger* messenger, std::string name)
    : messenger_(messenger), name_(std::move(name)) {}

void MethodChannel::SetMethodCallHandler(MethodCallHandler handler) const {
  if (!handler) {
    messenger_->SetMessageHandler(name_, nullptr);
    return;
  }
  messenger_->SetMessageHandler(
      name_, [handler = std::move(handler)](const uint8_t* message, size_t size, BinaryReply reply) {
        auto call = DecodeMethodCall(std::span<const uint8_t>(message, size));
        auto result = makeEnvelopeResult(std::move(reply));
        if (!call) {
          result->Error(kMalformedMethodCallCode, call.error().description);
          return;
        }
        handler(*call, std::move(result));
      });
}

}  // namespace tavlune::channel
