#include "app/window_channel.h"

#include "manager/connection_details.h"
#include "manager/mac_proxy_manager.h"
#include "manager/proxy_checks.h"
#include "manager/system_proxy_view.h"
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

// The "checkId" entry of a map argument; empty without one.
std::string checkId(const EncodableValue* arguments) {
  const auto* map = arguments ? std::get_if<EncodableMap>(arguments) : nullptr;
  if (!map) return {};
  auto found = map->find(EncodableValue("checkId"));
  const auto* text = found == map->end() ? nullptr : std::get_if<std::string>(&found->second);
  return text ? *text : std::string();
}

}  // namespace

void installWindowChannel(channel::BinaryMessenger* messenger, Application& application, MainFlutterWindow& window) {
  channel::MethodChannel channel(messenger, kWindowChannelName);
  // Made at the first check: the manager's environment exists by then. Main thread only.
  auto checks = std::make_shared<std::unique_ptr<manager::ProxyChecks>>();
  channel.SetMethodCallHandler([&application, &window, checks](const channel::MethodCall& call,
                                                               std::unique_ptr<channel::MethodResult> result) {
    const std::string& method = call.method_name();
    auto environment = []() -> const manager::MacProxyEnvironment& { return manager::MacProxyManager::shared().environment(); };
    auto proxyChecks = [&]() -> manager::ProxyChecks& {
      if (!*checks) *checks = std::make_unique<manager::ProxyChecks>(environment().diagnosis, environment().mainQueue);
      return **checks;
    };
    if (method == "describe") {
      result->Success(describe(window));
    } else if (method == "connection") {
      // Read from the manager's own stores, never through its channel, which would reconcile.
      result->Success(manager::connectionDetails(environment()));
    } else if (method == "connectProgress") {
      result->Success(environment().connects->describe());
    } else if (method == "cancelConnect") {
      result->Success(EncodableValue(environment().connects->cancel()));
    } else if (method == "checkProxy") {
      proxyChecks().check(call.arguments(), std::move(result));
    } else if (method == "checkProgress") {
      result->Success(proxyChecks().tracker().describe(checkId(call.arguments())));
    } else if (method == "cancelCheck") {
      result->Success(EncodableValue(proxyChecks().tracker().cancel(checkId(call.arguments()))));
    } else if (method == "systemProxy") {
      result->Success(manager::systemProxyView(*environment().network));
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
