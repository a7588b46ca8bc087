#include "app/window_channel.h"

#include "manager/connection_details.h"
#include "manager/mac_proxy_manager.h"
#include "channel/messenger_method_channel.h"

namespace tavlune::app {
namespace {

using channel::EncodableList;
using channel::EncodableMap;
using channel::EncodableValue;

EncodableValue sizeValue(Size size) {
  return EncodableValue(EncodableMap{{EncodableValue("width"), EncodableValue(size.width)},
                                     {EncodableValue("height"), EncodableValue(size.height)}});
}

EncodableValue rectValue(Rect rect) {
  return EncodableValue(EncodableMap{{EncodableValue("x"), EncodableValue(rect.origin.x)},
                                     {EncodableValue("y"), EncodableValue(rect.origin.y)},
                                     {EncodableValue("width"), EncodableValue(rect.size.width)},
                                     {EncodableValue("height"), EncodableValue(rect.size.height)}});
}

EncodableValue describe(const MainFlutterWindow& window) {
  EncodableList registrations;
  const ViewController* content = window.contentViewController();
  if (const auto* flutter = dynamic_cast<const FlutterViewController*>(content)) {
    for (const auto& entry : flutter->engine()->registrations()) registrations.emplace_back(entry);
  }
  return EncodableValue(EncodableMap{
      {EncodableValue("title"), EncodableValue(window.title())},
      {EncodableValue("frame"), rectValue(window.frame())},
      {EncodableValue("minSize"), sizeValue(window.minSize())},
      {EncodableValue("screen"), rectValue(Window::kMainScreenFrame)},
      {EncodableValue("visible"), EncodableValue(window.isVisible())},
      {EncodableValue("contentViewController"), EncodableValue(content ? content->className() : std::string())},
      {EncodableValue("registrations"), EncodableValue(std::move(registrations))},
  });
}

}  // namespace

void installWindowChannel(channel::BinaryMessenger* messenger, Application& application, MainFlutterWindow& window) {
  channel::MethodChannel channel(messenger, kWindowChannelName);
  channel.SetMethodCallHandler([&application, &window](const channel::MethodCall& call,
                                                       std::unique_ptr<channel::MethodResult> result) {
    const std::string& method = call.method_name();
    if (method == "describe") {
      result->Success(describe(window));
    } else if (method == "connection") {
      // Read from the manager's own stores, never through its channel, which would reconcile.
      const auto& environment = manager::MacProxyManager::shared().environment();
      result->Success(manager::connectionDetails(environment));
    } else if (method == "close") {
      // Answered first: the quit that follows may end the process.
      result->Success(EncodableValue(true));
      window.close();
    } else if (method == "quit") {
      result->Success(EncodableValue(true));
      application.terminate();
    } else {
      result->NotImplemented();
    }
  });
}

}  // namespace tavlune::app
