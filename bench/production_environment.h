// The manager's ports as the running application builds them (see
// MacProxyManager::shared), except for the clock and the diagnosis, which a
// benchmark wraps to take the flow's pauses and curl's time apart.
#pragma once

#include <memory>

#include "manager/mac_proxy_manager.h"

namespace tavlune::bench {

// Where the simulated host has the bundle; the installer finds the helper
// resource beside this executable, as it does for the application itself.
inline constexpr const char* kInstalledApplication = "/Applications/TavluneDesktop.app/Contents/MacOS/TavluneDesktop";

MacProxyEnvironment productionEnvironment(std::shared_ptr<platform::Clock> clock,
                                          std::shared_ptr<ProxyDiagnosis> diagnosis);

}  // namespace tavlune::bench
