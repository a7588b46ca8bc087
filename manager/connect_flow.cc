#include <algorithm>

#include "manager/coercion.h"
#include "manager/proxy_flows.h"
#include "manager/record_store.h"
#include "sysproxy/connect_command.h"
#include "sysproxy/network_service_discovery.h"
#include "sysproxy/proxy_inspection.h"
#include "sysproxy/restore_commands.h"

namespace tavlune {
namespace {

using channel::EncodableMap;
using channel::EncodableValue;

constexpr const char* kAllowedProtocols[] = {"http", "https", "socks4", "socks5"};
constexpr int kConfirmationChecks = 12;
constexpr std::chrono::milliseconds kConfirmationPause{150};

const EncodableValue* argument(const EncodableMap& arguments, const char* key) {
  auto it = arguments.find(EncodableValue(key));
  return it == arguments.end() ? nullptr : &it->second;
}

std::string asciiLowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// "[::1]" is how a URL writes an IPv6 address; networksetup, the live
// settings and the stored state hold the address itself.
std::string withoutBrackets(std::string host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']' && host.find(':') != std::string::npos)
    return host.substr(1, host.size() - 2);
  return host;
}

std::vector<std::string> namesOf(const std::vector<MacNetworkServiceSnapshot>& services) {
  std::vector<std::string> names;
  for (const auto& service : services) names.push_back(service.name);
  return names;
}

}  // namespace

struct ProxyFlows::ConnectRequest {
  std::string host;
  int64_t port;
  std::string proxyProtocol;
  std::string username;
  std::string password;
  bool webRtcProtection;
  EncodableMap arguments;  // the descriptive fields are read after the proxy is applied
};

void ProxyFlows::connect(const EncodableMap& arguments, MethodResultPtr result) {
  auto refuse = [&](MacProxyError error) { result->Error(flutterError(error)); };
  // Behind the termination take-back the process is about to end; a connect
  // queued there could leave its settings applied.
  if (terminating_) return refuse(quitting());
  auto host = text(argument(arguments, "host"));
  if (!host) return refuse(MacProxyError::invalidConfiguration());
  auto port = integer(argument(arguments, "port"));
  if (!port || *port < 1 || *port > 65535) return refuse(MacProxyError::invalidConfiguration());
  // The allowed names are ASCII, so ASCII lower-casing decides as well as any.
  std::string proxyProtocol = asciiLowercase(text(argument(arguments, "protocol")).value_or("http"));
  if (std::find(std::begin(kAllowedProtocols), std::end(kAllowedProtocols), proxyProtocol) ==
      std::end(kAllowedProtocols))
    return refuse(MacProxyError::unsupportedProtocol());
  if (load<MacProxyConnectionState>(*env_.defaults, MacProxyManager::stateKey))
    return refuse(MacProxyError::existingProxy());

  const EncodableValue* webRtc = argument(arguments, "webRtcProtection");
  const bool* webRtcFlag = webRtc ? std::get_if<bool>(webRtc) : nullptr;
  ConnectRequest request{withoutBrackets(*host),
                         *port,
                         proxyProtocol,
                         text(argument(arguments, "username")).value_or(""),
                         text(argument(arguments, "password")).value_or(""),
                         webRtcFlag ? *webRtcFlag : true,
                         arguments};
  ++connectsInFlight_;
  env_.queue->async([this, request = std::move(request), result = SharedResult(std::move(result))] {
    runConnect(request, result);
    --connectsInFlight_;
  });
}

void ProxyFlows::runConnect(const ConnectRequest& request, const SharedResult& result) {
  auto& defaults = *env_.defaults;
  // Two connects sent together both pass the entry check; the later one must
  // neither change anything nor drop the records of the earlier one.
  if (load<MacProxyConnectionState>(defaults, MacProxyManager::stateKey))
    return replyLater(result, MacProxyError::existingProxy());
  // A snapshot without a state holds the user's own settings, left by a
  // clean-up that failed: take them back before recording new ones.
  if (load<MacProxySnapshot>(defaults, MacProxyManager::snapshotKey)) {
    if (auto back = performDisconnect(); !back) return replyLater(result, back.error());
  }

  auto services = enabledNetworkServices(*env_.network);
  if (!services) return failConnect(services.error(), false, result);
  if (services->empty()) return failConnect(MacProxyError::noNetworkService(), false, result);

  std::vector<MacNetworkServiceSnapshot> proxied, atGateway;
  for (const auto& service : *services) {
    if (!hasEnabledProxy(service.configuration)) continue;
    proxied.push_back(service);
    if (containsTavluneGateway(service.configuration)) atGateway.push_back(service);
  }
  if (atGateway.size() < proxied.size()) return failConnect(MacProxyError::existingProxy(), false, result);
  if (!proxied.empty()) {
    // Left behind by an earlier connection of this system: switch them off.
    if (auto off = env_.helper->runHelperCommand(disableProxyCommand(namesOf(atGateway))); !off)
      return failConnect(off.error(), false, result);
    (void)env_.helper->runHelperCommand("chrome-webrtc-off");
    // Recorded as the clean-up left them: a disconnect must not point the
    // machine back at a gateway that no connection stands behind.
    services = enabledNetworkServices(*env_.network);
    if (!services) return failConnect(services.error(), false, result);
    if (services->empty()) return failConnect(MacProxyError::noNetworkService(), false, result);
  }

  auto diagnostic = env_.diagnosis->diagnose(request.host, request.port, request.proxyProtocol, request.username,
                                             request.password);
  if (!diagnostic) return failConnect(diagnostic.error(), false, result);

  // Without the snapshot the user's settings could not be put back: a
  // connect that cannot record it must not change anything.
  if (auto saved = save(defaults, MacProxySnapshot{*services}, MacProxyManager::snapshotKey); !saved)
    return failConnect(saved.error(), false, result);

  auto applied = env_.helper->runHelperCommand(connectCommand(
      namesOf(*services), request.host, request.port, request.proxyProtocol, request.username, request.password));
  if (!applied) return failConnect(applied.error(), false, result);

  if (request.webRtcProtection) {
    if (auto on = env_.helper->runHelperCommand("chrome-webrtc-on"); !on)
      return failConnect(on.error(), true, result);
  } else {
    (void)env_.helper->runHelperCommand("chrome-webrtc-off");
  }

  const auto& arguments = request.arguments;
  auto descriptive = [&](const char* key) { return text(argument(arguments, key)); };
  auto profileId = descriptive("profileId");
  if (!profileId) profileId = descriptive("id");
  MacProxyConnectionState state{request.host,
                                request.port,
                                request.proxyProtocol,
                                descriptive("connectionType").value_or("manual"),
                                profileId,
                                integer(argument(arguments, "sessionId")).value_or(0),
                                descriptive("countryCode"),
                                descriptive("country"),
                                descriptive("state"),
                                descriptive("city"),
                                env_.clock->nowMilliseconds()};
  // Stored before confirming: the confirmation compares the live settings with it.
  if (auto saved = save(defaults, state, MacProxyManager::stateKey); !saved)
    return failConnect(saved.error(), true, result);
  if (auto saved = save(defaults, *diagnostic, MacProxyManager::diagnosticKey); !saved)
    return failConnect(saved.error(), true, result);

  for (int check = 0; check < kConfirmationChecks; ++check) {
    if (systemProxyMatchesCurrentState()) return replyLater(result, EncodableValue(true));
    env_.clock->sleep(kConfirmationPause);
  }
  failConnect(MacProxyError::commandFailed("macOS did not activate the selected proxy settings."), true, result);
}

void ProxyFlows::failConnect(const AnyError& error, bool applied, const SharedResult& result) {
  removeRecords({MacProxyManager::stateKey, MacProxyManager::diagnosticKey});
  if (applied && load<MacProxySnapshot>(*env_.defaults, MacProxyManager::snapshotKey)) {
    (void)restoreSnapshot();
    (void)env_.helper->runHelperCommand("chrome-webrtc-off");
  }
  removeRecords({MacProxyManager::snapshotKey});
  replyLater(result, error);
}

}  // namespace tavlune
