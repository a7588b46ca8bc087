#include "manager/proxy_checks.h"

#include "frontendprotocol/keys.h"
#include "manager/channel_coercion.h"
#include "manager/flutter_values.h"
#include "manager/proxy_arguments.h"

namespace tavlune::manager {

void ProxyChecks::check(const channel::EncodableValue* arguments, MethodResultPtr result) {
  const auto* map = arguments ? std::get_if<channel::EncodableMap>(arguments) : nullptr;
  if (!map) {
    result->Error(flutterError(model::MacProxyError::invalidConfiguration()));
    return;
  }
  auto proxy = proxyArguments(*map);
  if (!proxy) {
    result->Error(flutterError(proxy.error()));
    return;
  }
  auto proof = tracker_.add(proxy->proxyProtocol, proxy->host, proxy->port,
                            text(argument(*map, frontendprotocol::kCheckIdKey)).value_or(""));
  std::shared_ptr<channel::MethodResult> shared = tracker_.forgetOnReply(proof, std::move(result));
  queue_.async([this, proxy = *proxy, proof, result = std::move(shared)] {
    model::ManagerResult<model::MacProxyDiagnostic> diagnostic = unexpected(model::AnyError(ProofTracker::cancelledError()));
    if (tracker_.start(*proof))
      diagnostic = diagnosis_->diagnose(proxy.host, proxy.port, proxy.proxyProtocol, proxy.username, proxy.password,
                                        tracker_.observer(proof));
    if (diagnostic) {
      mainQueue_->async([result, value = flutterValue(*diagnostic)] { result->Success(value); });
    } else {
      mainQueue_->async([result, error = flutterError(diagnostic.error())] { result->Error(error); });
    }
  });
}

}  // namespace tavlune::manager
