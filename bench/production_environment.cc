#include "bench/production_environment.h"

#include <unistd.h>

#include "manager/production_ports.h"
#include "platform/defaults/file_user_defaults.h"
#include "platform/sysconfig/file_network_configuration.h"

namespace tavlune::bench {

MacProxyEnvironment productionEnvironment(std::shared_ptr<platform::Clock> clock,
                                          std::shared_ptr<ProxyDiagnosis> diagnosis) {
  auto client = std::make_shared<HelperClient>(MacProxyManager::helperSocketPath);
  return MacProxyEnvironment{
      std::make_shared<platform::FileUserDefaults>(platform::FileUserDefaults::standardPath()),
      std::make_shared<platform::DesktopWorkspace>(),
      sharedMainQueue(),
      std::make_shared<platform::SerialQueue>(MacProxyManager::queueLabel),
      clock,
      std::make_shared<platform::sysconfig::FileNetworkConfiguration>(),
      std::move(diagnosis),
      std::make_shared<InstallingHelperCommands>(HelperInstaller::Ports{
          client,
          std::make_shared<platform::ShellAppleScript>(std::make_shared<platform::HostApprovalPrompt>()),
          std::make_shared<platform::MainBundle>(kInstalledApplication),
          sharedMainQueue(),
          clock,
          [] { return getuid(); },
      }),
  };
}

}  // namespace tavlune::bench
