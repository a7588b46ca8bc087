// The main window: hosts the Flutter view, registers the plug-ins and opens
// the method channel whose every call goes to the proxy manager
// (frontendprotocol::vpn::kChannel).
#pragma once

#include "app/flutter_view_controller.h"
#include "app/window.h"
#include "channel/messenger.h"

namespace tavlune::app {

class MainFlutterWindow final : public Window {
 public:
  static constexpr const char* kTitle = "Tavlune Proxy";
  static constexpr Size kOpeningSize{980, 680};

  // transport carries the engine's messages to and from the front end.
  MainFlutterWindow(Application& application, Rect contentRect, channel::BinaryMessenger& transport)
      : Window(application, contentRect), transport_(transport) {}

  void awakeFromNib() override;

 private:
  channel::BinaryMessenger& transport_;
};

}  // namespace tavlune::app
