// The two services the flows lean on, behind small interfaces so that the
// flows can be tested at their ports: proving a proxy, and handing commands
// to the privileged helper.
#pragma once

#include <cstdint>
#include <string>

#include "helperclient/helper_client.h"
#include "model/mac_proxy_error.h"
#include "model/records.h"
#include "validation/proxy_validator.h"

namespace tavlune::manager {

class ProxyDiagnosis {
 public:
  virtual ~ProxyDiagnosis() = default;
  // The exit address and its details, or the failure that refuses the proxy;
  // observer hears its passes and may cancel it.
  virtual model::ManagerResult<model::MacProxyDiagnostic> diagnose(const std::string& host, int64_t port,
                                                     const std::string& proxyProtocol, const std::string& username,
                                                     const std::string& password,
                                                     const validation::ProofObserver& observer) = 0;
};

class HelperCommands {
 public:
  virtual ~HelperCommands() = default;
  // Probe, install when the probe fails, then send: the one road by which the
  // flows hand the helper a command. A failure says whether the command was
  // handed over, after which its outcome is unknown.
  virtual helperclient::HelperResult<void> runHelperCommand(const std::string& command) = 0;
  // Whether the installed helper answers with this build's version; never
  // installs it.
  virtual bool helperIsAvailable() = 0;
};

}  // namespace tavlune::manager
