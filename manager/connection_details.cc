#include "manager/connection_details.h"

#include "frontendprotocol/keys.h"
#include "manager/flutter_values.h"
#include "model/record_store.h"
#include "model/snapshot_store.h"
#include "platform/files/files.h"
#include "platform/plist/plist.h"
#include "sysproxy/network_service_discovery.h"
#include "sysproxy/proxy_inspection.h"

namespace tavlune::manager {
namespace {

using channel::EncodableList;
using channel::EncodableMap;
using channel::EncodableValue;
using namespace frontendprotocol;  // the channel's keys

// A policy file is a few hundred bytes; anything this large is not Chrome's.
constexpr std::size_t kPolicyReadLimit = 1024 * 1024;

bool webRtcProtectionOn(const std::string& policyPath) {
  auto bytes = platform::files::readIfPresent(policyPath, kPolicyReadLimit);
  if (!bytes || !*bytes) return false;
  auto policy = platform::plist::parse(**bytes);
  const auto* dictionary = policy ? policy->as<platform::plist::Dictionary>() : nullptr;
  if (!dictionary) return false;
  auto found = dictionary->find(std::string(helperprotocol::kWebRTCPolicyKey));
  return found != dictionary->end() && found->second == platform::plist::Value(std::string(helperprotocol::kWebRTCPolicyValue));
}

}  // namespace

EncodableValue connectionDetails(platform::UserDefaults& defaults, platform::sysconfig::NetworkConfiguration& network,
                                 const std::string& chromePolicyPath, const std::string& snapshotCopyPath) {
  const EncodableValue protection(webRtcProtectionOn(chromePolicyPath));
  auto state = model::loadRecord<model::MacProxyConnectionState>(defaults);
  if (!state) {
    auto stored = model::SnapshotStore(defaults, snapshotCopyPath).loadStored();
    const bool pending = stored && sysproxy::snapshotStillOwed(*stored, network);
    return EncodableValue(EncodableMap{{EncodableValue(kPhaseKey), EncodableValue(kOfflinePhase)},
                                       {EncodableValue(kWebRtcProtectionKey), protection},
                                       {EncodableValue(kTakeBackPendingKey), EncodableValue(pending)}});
  }
  EncodableMap details = std::get<EncodableMap>(flutterValue(*state));
  EncodableList services;
  // A listing that fails names no service: the answer says so rather than fail.
  if (auto listed = sysproxy::enabledNetworkServices(network))
    for (const auto& service : *listed)
      if (sysproxy::servicePointsAt(service.configuration, state->host, state->port, state->proxyProtocol))
        services.emplace_back(service.name);
  details[EncodableValue(kHostKey)] = EncodableValue(state->host);
  details[EncodableValue(kPortKey)] = channel::integerValue(state->port);
  details[EncodableValue(kServicesKey)] = EncodableValue(std::move(services));
  details[EncodableValue(kSystemMatchesKey)] = EncodableValue(sysproxy::systemProxyCarries(*state, network));
  details[EncodableValue(kWebRtcProtectionKey)] = protection;
  details[EncodableValue(kTakeBackPendingKey)] = EncodableValue(false);
  return EncodableValue(std::move(details));
}

EncodableValue connectionDetails(const MacProxyEnvironment& environment) {
  return connectionDetails(*environment.defaults, *environment.network, std::string(helperprotocol::kChromePolicyPath),
                           environment.snapshotCopyPath);
}

}  // namespace tavlune::manager
