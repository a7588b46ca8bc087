#include "app/flutter_view_controller.h"

#include "frontendprotocol/keys.h"

namespace tavlune::app {

// Passes everything to the transport and notes each channel that gets a handler.
class FlutterEngine::RecordingMessenger final : public channel::BinaryMessenger {
 public:
  RecordingMessenger(channel::BinaryMessenger& transport, std::vector<std::string>& registrations)
      : transport_(transport), registrations_(registrations) {}

  void Send(const std::string& channel, const uint8_t* message, size_t size,
            channel::BinaryReply reply) const override {
    transport_.Send(channel, message, size, std::move(reply));
  }
  void SetMessageHandler(const std::string& channel, channel::BinaryMessageHandler handler) override {
    if (handler) registrations_.push_back(frontendprotocol::kChannelRegistration + channel);
    transport_.SetMessageHandler(channel, std::move(handler));
  }

 private:
  channel::BinaryMessenger& transport_;
  std::vector<std::string>& registrations_;
};

channel::BinaryMessenger* FlutterPluginRegistrar::messenger() const { return engine_.binaryMessenger(); }

FlutterEngine::FlutterEngine(channel::BinaryMessenger& transport)
    : messenger_(std::make_unique<RecordingMessenger>(transport, registrations_)) {}

FlutterEngine::~FlutterEngine() = default;

channel::BinaryMessenger* FlutterEngine::binaryMessenger() { return messenger_.get(); }

FlutterPluginRegistrar* FlutterEngine::registrarForPlugin(const std::string& pluginName) {
  registrations_.push_back(frontendprotocol::kPluginRegistration + pluginName);
  registrars_.push_back(std::make_unique<FlutterPluginRegistrar>(*this, pluginName));
  return registrars_.back().get();
}

}  // namespace tavlune::app
