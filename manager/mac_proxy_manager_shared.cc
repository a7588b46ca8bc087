#include <unistd.h>

#include "manager/mac_proxy_manager.h"
#include "manager/production_ports.h"
#include "manager/proxy_flows.h"
#include "platform/defaults/file_user_defaults.h"
#include "platform/sysconfig/file_network_configuration.h"

namespace tavlune::manager {

std::shared_ptr<platform::MainQueue> sharedMainQueue() {
  static auto queue = std::make_shared<platform::MainQueue>();
  return queue;
}

MacProxyEnvironment productionEnvironment(std::shared_ptr<platform::Clock> clock,
                                          std::shared_ptr<ProxyDiagnosis> diagnosis,
                                          std::shared_ptr<platform::Bundle> bundle) {
  // The defaults belong to the bundle's identifier, as the platform keeps them.
  const std::string defaultsPath = platform::FileUserDefaults::standardPath(bundle->bundleIdentifier());
  return MacProxyEnvironment{
      std::make_shared<platform::FileUserDefaults>(defaultsPath),
      std::make_shared<platform::DesktopWorkspace>(),
      sharedMainQueue(),
      std::make_shared<platform::SerialQueue>(MacProxyManager::queueLabel),
      clock,
      std::make_shared<platform::sysconfig::FileNetworkConfiguration>(),
      std::move(diagnosis),
      std::make_shared<InstallingHelperCommands>(helperclient::HelperInstaller::Ports{
          std::make_shared<helperclient::HelperClient>(),
          std::make_shared<platform::ShellAppleScript>(std::make_shared<platform::HostApprovalPrompt>()),
          std::move(bundle),
          sharedMainQueue(),
          clock,
          [] { return getuid(); },
      }),
  };
}

MacProxyManager& MacProxyManager::shared() {
  // Built on first use, thread-safely, and never destroyed: work items still
  // queued at exit must find it.
  static MacProxyManager* manager = [] {
    auto clock = std::make_shared<platform::SystemClock>();
    auto environment = productionEnvironment(clock, std::make_shared<ValidatorDiagnosis>(clock),
                                             std::make_shared<platform::MainBundle>());
    auto flows = std::make_shared<ProxyFlows>(environment);
    return new MacProxyManager(std::move(environment), std::move(flows));
  }();
  return *manager;
}

}  // namespace tavlune::manager
