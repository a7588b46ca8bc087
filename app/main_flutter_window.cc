#include "app/main_flutter_window.h"

#include "app/generated_plugin_registrant.h"
#include "frontendprotocol/channels.h"
#include "manager/mac_proxy_manager.h"
#include "channel/messenger_method_channel.h"

namespace tavlune::app {

void MainFlutterWindow::awakeFromNib() {
  auto controller = std::make_unique<FlutterViewController>(transport_);
  FlutterViewController* flutterViewController = controller.get();
  setContentViewController(std::move(controller));
  setFrame(Rect{{0, 0}, kOpeningSize}, true);
  setMinSize(kOpeningSize);
  center();
  setTitle(kTitle);

  RegisterGeneratedPlugins(flutterViewController);

  // The handler outlives the channel object, as it stays with the engine's messenger.
  channel::MethodChannel channel(flutterViewController->engine()->binaryMessenger(), frontendprotocol::vpn::kChannel);
  channel.SetMethodCallHandler([](const channel::MethodCall& call, std::unique_ptr<channel::MethodResult> result) {
    manager::MacProxyManager::shared().handle(call, std::move(result));
  });

  Window::awakeFromNib();
}

}  // namespace tavlune::app
