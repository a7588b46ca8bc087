#include "app/window_channel.h"

#include "frontendprotocol/channels.h"
#include "frontendprotocol/keys.h"
#include "manager/connection_details.h"
#include "manager/proxy_checks.h"
#include "manager/system_proxy_view.h"
#include "channel/messenger_method_channel.h"

namespace tavlune::app {
namespace {

using channel::EncodableList;
using channel::EncodableMap;
using channel::EncodableValue;
using namespace frontendprotocol;  // the replies' keys
namespace methods = frontendprotocol::window;

EncodableValue sizeValue(Size size) {
  return EncodableValue(EncodableMap{{EncodableValue(kWidthKey), EncodableValue(size.width)},
                                     {EncodableValue(kHeightKey), EncodableValue(size.height)}});
}

EncodableValue rectValue(Rect rect) {
  return EncodableValue(EncodableMap{{EncodableValue(kXKey), EncodableValue(rect.origin.x)},
                                     {EncodableValue(kYKey), EncodableValue(rect.origin.y)},
                                     {EncodableValue(kWidthKey), EncodableValue(rect.size.width)},
                                     {EncodableValue(kHeightKey), EncodableValue(rect.size.height)}});
}

EncodableValue describe(const MainFlutterWindow& window) {
  EncodableList registrations;
  const ViewController* content = window.contentViewController();
  if (const auto* flutter = dynamic_cast<const FlutterViewController*>(content)) {
    for (const auto& entry : flutter->engine()->registrations()) registrations.emplace_back(entry);
  }
  return EncodableValue(EncodableMap{
      {EncodableValue(kTitleKey), EncodableValue(window.title())},
      {EncodableValue(kFrameKey), rectValue(window.frame())},
      {EncodableValue(kMinSizeKey), sizeValue(window.minSize())},
      {EncodableValue(kScreenKey), rectValue(Window::kMainScreenFrame)},
      {EncodableValue(kVisibleKey), EncodableValue(window.isVisible())},
      {EncodableValue(kContentViewControllerKey), EncodableValue(content ? content->className() : std::string())},
      {EncodableValue(kRegistrationsKey), EncodableValue(std::move(registrations))},
  });
}

// The "checkId" entry of a map argument; empty without one.
std::string checkId(const EncodableValue* arguments) {
  const auto* map = arguments ? std::get_if<EncodableMap>(arguments) : nullptr;
  if (!map) return {};
  auto found = map->find(EncodableValue(kCheckIdKey));
  const auto* text = found == map->end() ? nullptr : std::get_if<std::string>(&found->second);
  return text ? *text : std::string();
}

}  // namespace

void installWindowChannel(channel::BinaryMessenger* messenger, Application& application, MainFlutterWindow& window,
                          const manager::MacProxyEnvironment& environment) {
  channel::MethodChannel channel(messenger, methods::kChannel);
  // Made at the first check, so its queue's thread exists only once used. Main thread only.
  auto checks = std::make_shared<std::unique_ptr<manager::ProxyChecks>>();
  channel.SetMethodCallHandler([&application, &window, &environment, checks](
                                   const channel::MethodCall& call, std::unique_ptr<channel::MethodResult> result) {
    const std::string& method = call.method_name();
    auto proxyChecks = [&]() -> manager::ProxyChecks& {
      if (!*checks) *checks = std::make_unique<manager::ProxyChecks>(environment.diagnosis, environment.mainQueue);
      return **checks;
    };
    if (method == methods::kDescribe) {
      result->Success(describe(window));
    } else if (method == methods::kConnection) {
      // Read from the manager's own stores, never through its channel, which would reconcile.
      result->Success(manager::connectionDetails(environment));
    } else if (method == methods::kConnectProgress) {
      result->Success(environment.connects->describe());
    } else if (method == methods::kCancelConnect) {
      result->Success(EncodableValue(environment.connects->cancel()));
    } else if (method == methods::kCheckProxy) {
      proxyChecks().check(call.arguments(), std::move(result));
    } else if (method == methods::kCheckProgress) {
      result->Success(proxyChecks().tracker().describe(checkId(call.arguments())));
    } else if (method == methods::kCancelCheck) {
      result->Success(EncodableValue(proxyChecks().tracker().cancel(checkId(call.arguments()))));
    } else if (method == methods::kSystemProxy) {
      result->Success(manager::systemProxyView(*environment.network));
    } else if (method == methods::kClose) {
      // Answered first: the quit that follows may end the process.
      result->Success(EncodableValue(true));
      window.close();
    } else if (method == methods::kQuit) {
      result->Success(EncodableValue(true));
      application.terminate();
    } else {
      result->NotImplemented();
    }
  });
}

}  // namespace tavlune::app
