#include <unistd.h>

#include "manager/mac_proxy_manager.h"
#include "manager/production_ports.h"
#include "manager/proxy_flows.h"
#include "platform/defaults/file_user_defaults.h"
#include "platform/sysconfig/file_network_configuration.h"

namespace tavlune {

std::shared_ptr<platform::MainQueue> sharedMainQueue() {
  static auto queue = std::make_shared<platform::MainQueue>();
  return queue;
}

MacProxyManager& MacProxyManager::shared() {
  // Built on first use, thread-safely, and never destroyed: work items still
  // queued at exit must find it.
  static MacProxyManager* manager = [] {
    auto clock = std::make_shared<platform::SystemClock>();
    auto client = std::make_shared<HelperClient>(helperSocketPath);
    MacProxyEnvironment environment{
        std::make_shared<platform::FileUserDefaults>(platform::FileUserDefaults::standardPath()),
        std::make_shared<platform::DesktopWorkspace>(),
        sharedMainQueue(),
        std::make_shared<platform::SerialQueue>(queueLabel),
        clock,
        std::make_shared<platform::sysconfig::FileNetworkConfiguration>(),
        std::make_shared<ValidatorDiagnosis>(clock),
        std::make_shared<InstallingHelperCommands>(HelperInstaller::Ports{
            client,
            std::make_shared<platform::ShellAppleScript>(std::make_shared<platform::HostApprovalPrompt>()),
            std::make_shared<platform::MainBundle>(),
            sharedMainQueue(),
            clock,
            [] { return getuid(); },
        }),
    };
    auto flows = std::make_shared<ProxyFlows>(environment);
    return new MacProxyManager(std::move(environment), std::move(flows));
  }();
  return *manager;
}

}  // namespace tavlune
