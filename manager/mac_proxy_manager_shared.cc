#include <unistd.h>

#include "channel/socket_messenger_path.h"
#include "manager/mac_proxy_manager.h"
#include "manager/production_ports.h"
#include "manager/proxy_flows.h"
#include "platform/bundle/main_bundle.h"
#include "platform/files/files.h"
#include "platform/defaults/standard_user_defaults.h"
#include "platform/sysconfig/system_network_configuration.h"

namespace tavlune::manager {

std::shared_ptr<platform::MainQueue> sharedMainQueue() {
  static auto queue = std::make_shared<platform::MainQueue>();
  return queue;
}

MacProxyEnvironment productionEnvironment(std::shared_ptr<platform::Clock> clock,
                                          std::shared_ptr<ProxyDiagnosis> diagnosis,
                                          std::shared_ptr<platform::Bundle> bundle) {
  return MacProxyEnvironment{
      platform::standardUserDefaults(bundle->bundleIdentifier()),
      platform::systemWorkspace(),
      sharedMainQueue(),
      std::make_shared<platform::SerialQueue>(MacProxyManager::queueLabel),
      clock,
      platform::sysconfig::systemNetworkConfiguration(),
      std::move(diagnosis),
      std::make_shared<InstallingHelperCommands>(helperclient::HelperInstaller::Ports{
          std::make_shared<helperclient::HelperClient>(),
          platform::systemAppleScript(),
          std::move(bundle),
          sharedMainQueue(),
          clock,
          [] { return getuid(); },
      }),
      std::nullopt,  // the termination bound follows the stored snapshot's line
      std::make_shared<ProofTracker>(),
      // Beside the channel socket, in the application's own private folder.
      platform::files::homeDirectory() + "/" + channel::kChannelFolder + "/proxy-snapshot.copy",
  };
}

MacProxyManager& MacProxyManager::shared() {
  // Built on first use, thread-safely, and never destroyed: work items still
  // queued at exit must find it.
  static MacProxyManager* manager = [] {
    auto clock = std::make_shared<platform::SystemClock>();
    auto environment = productionEnvironment(clock, std::make_shared<ValidatorDiagnosis>(clock),
                                             platform::mainBundle());
    auto flows = std::make_shared<ProxyFlows>(environment);
    return new MacProxyManager(std::move(environment), std::move(flows));
  }();
  return *manager;
}

}  // namespace tavlune::manager
