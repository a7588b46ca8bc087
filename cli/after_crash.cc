#include "cli/after_crash.h"

#include "cli/proxy_url.h"
#include "cli/reply_text.h"
#include "model/coercion.h"
#include "model/proxy_dictionary.h"
#include "model/record_store.h"
#include "platform/defaults/standard_user_defaults.h"
#include "platform/sysconfig/system_network_configuration.h"
#include "tavlune_version.h"

namespace tavlune::cli {
namespace {

namespace pl = platform::plist;

constexpr const char* kHowToStart =
    "open -a TavluneDesktop on a Mac; in the simulated host tavlune-sim open from outside, or "
    "/Applications/TavluneDesktop.app/Contents/MacOS/TavluneDesktop & inside";

enum class Live { pointsThere, elsewhere, unreadable };

// Any of the live web, secure web and SOCKS proxies switched on at the host and port.
Live livePointsAt(const model::MacProxyConnectionState& state) {
  auto live = platform::sysconfig::systemNetworkConfiguration()->liveProxies();
  const pl::Dictionary* proxies = live ? live->as<pl::Dictionary>() : nullptr;
  if (!proxies) return Live::unreadable;
  for (const auto& keys : model::kManualProxyKeys)
    if (model::isOn(*proxies, keys.enable) && model::text(model::valueAt(*proxies, keys.host)) == state.host &&
        model::integer(model::valueAt(*proxies, keys.port)) == state.port)
      return Live::pointsThere;
  return Live::elsewhere;
}

}  // namespace

std::vector<std::string> afterCrashLines() {
  auto defaults = platform::standardUserDefaults(kBundleIdentifier);
  auto state = model::loadRecord<model::MacProxyConnectionState>(*defaults);
  const bool snapshot = model::loadRecord<model::MacProxySnapshot>(*defaults).has_value();
  if (!state && !snapshot) return {std::string("start it: ") + kHowToStart + "."};

  std::vector<std::string> lines;
  if (state) {
    const std::string target = displayUrl(state->proxyProtocol, state->host, state->port);
    const std::string when = localTime(state->connectedAt);
    switch (livePointsAt(*state)) {
      case Live::pointsThere:
        lines.push_back("the system proxy still points at " + target + ", which Tavlune connected on " + when +
                        ": TavluneDesktop ended without taking it back (it crashed or was killed).");
        break;
      case Live::elsewhere:
        lines.push_back("Tavlune recorded a connection through " + target + " on " + when +
                        " that the system proxy no longer shows.");
        break;
      case Live::unreadable:
        lines.push_back("Tavlune recorded a connection through " + target + " on " + when +
                        "; the live proxy settings cannot be read to say whether it is still in force.");
        break;
    }
  } else {
    lines.push_back("Tavlune keeps proxy settings of an earlier connection that it has not put back yet.");
  }
  lines.push_back(std::string("starting TavluneDesktop takes back what it left: ") + kHowToStart + ".");
  return lines;
}

}  // namespace tavlune::cli
