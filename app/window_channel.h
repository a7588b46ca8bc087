// The shell's own channel: lets a front end, which has no window of its own
// here, close the main window, quit the application, or see how the window
// and the engine were set up. Kept apart from the manager's channel.
#pragma once

#include "app/application.h"
#include "app/main_flutter_window.h"
#include "channel/messenger.h"
#include "manager/mac_proxy_manager.h"

namespace tavlune::app {

// On frontendprotocol::window's channel: "describe" answers a map of the window and the engine's registrations,
// "connection" the read-only view of the connection (manager/connection_details.h),
// "close" closes the window, "quit" asks the application to quit; the last
// two answer true at once. Anything else is not implemented. The connection's
// methods read environment, the running manager's, which outlives the channel.
void installWindowChannel(channel::BinaryMessenger* messenger, Application& application, MainFlutterWindow& window,
                          const manager::MacProxyEnvironment& environment);

}  // namespace tavlune::app
