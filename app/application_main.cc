#include "app/application_main.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/app_delegate.h"
#include "app/application.h"
#include "app/main_flutter_window.h"
#include "app/quit_signals.h"
#include "app/single_instance_lock.h"
#include "app/window_channel.h"
#include "manager/mac_proxy_manager.h"
#include "channel/socket_messenger.h"
#include "channel/socket_messenger_path.h"
#include "platform/files/files.h"
#include "tavlune_version.h"

namespace tavlune::app {
namespace {

constexpr const char* kLockFileName = "TavluneDesktop.lock";

constexpr const char* kUsage =
    "Usage: TavluneDesktop\n"
    "\n"
    "The Tavlune desktop application. It serves its front ends (such as the\n"
    "tavlune command) on the channel socket\n"
    "  $HOME/Library/Application Support/Tavlune/channel.sock\n"
    "and runs until asked to quit: SIGTERM, SIGINT, a front end's quit, or\n"
    "closing its window. Before it ends it takes back the system proxy\n"
    "settings it applied. One instance runs per user.\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this help and exit\n"
    "  --version   show the version and exit\n";

int fail(const std::string& message) {
  std::fprintf(stderr, "TavluneDesktop: %s\n", message.c_str());
  return 1;
}

}  // namespace

int ApplicationMain(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("TavluneDesktop %s\n", TAVLUNE_VERSION);
      return 0;
    }
    std::fprintf(stderr, "TavluneDesktop: unknown argument '%s'\n\n%s", argv[i], kUsage);
    return 2;
  }

  const std::string folder = channel::channelFolder();
  if (auto prepared = platform::files::makePrivateDirectory(folder); !prepared) return fail(prepared.error().description);
  // Before the socket: only the lock holder may replace a socket file left there.
  auto lock = SingleInstanceLock::acquire(folder + "/" + kLockFileName);
  if (!lock && lock.error().heldByAnother) {
    std::fprintf(stderr, "%s\n", lock.error().description.c_str());
    return 1;
  }
  if (!lock) return fail(lock.error().description);

  std::shared_ptr<platform::MainQueue> mainQueue = manager::sharedMainQueue();
  mainQueue->adoptCurrentThread();
  Application application(mainQueue);
  // Before the socket: a front end may ask for a quit, or signal one, as soon
  // as it can connect, and a signal before its handler would end the process
  // uncleanly. The quit is served once the run loop runs.
  auto signals = QuitSignals::install([&application, mainQueue] {
    mainQueue->async([&application] { application.terminate(); });
  });
  if (!signals) return fail(signals.error().description);
  auto messenger = channel::SocketMessenger::listen(channel::channelSocketPath(), mainQueue);
  if (!messenger) return fail(messenger.error().description);

  AppDelegate delegate;
  application.setDelegate(&delegate);

  MainFlutterWindow window(application, Rect{{0, 0}, MainFlutterWindow::kOpeningSize}, **messenger);
  window.awakeFromNib();
  window.makeKeyAndOrderFront();
  auto* controller = static_cast<FlutterViewController*>(window.contentViewController());
  installWindowChannel(controller->engine()->binaryMessenger(), application, window,
                       manager::MacProxyManager::shared().environment());

  application.run();

  signals->reset();
  (*messenger)->close();
  return 0;
}

}  // namespace tavlune::app
