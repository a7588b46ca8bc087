// The flows' ports as the running application fills them.
#pragma once

#include <memory>

#include "helperclient/helper_installer.h"
#include "manager/flow_ports.h"
#include "manager/mac_proxy_manager.h"
#include "platform/bundle/bundle.h"
#include "validation/proxy_validator.h"

namespace tavlune::manager {

class ValidatorDiagnosis final : public ProxyDiagnosis {
 public:
  explicit ValidatorDiagnosis(std::shared_ptr<platform::Clock> clock) : clock_(std::move(clock)), validator_(*clock_) {}
  model::ManagerResult<model::MacProxyDiagnostic> diagnose(const std::string& host, int64_t port, const std::string& proxyProtocol,
                                             const std::string& username, const std::string& password,
                                             const validation::ProofObserver& observer) override {
    return validator_.diagnose(host, port, proxyProtocol, username, password, observer);
  }

 private:
  std::shared_ptr<platform::Clock> clock_;
  validation::ProxyValidator validator_;
};

class InstallingHelperCommands final : public HelperCommands {
 public:
  explicit InstallingHelperCommands(helperclient::HelperInstaller::Ports ports)
      : client_(ports.client), installer_(std::move(ports)) {}
  helperclient::HelperResult<void> runHelperCommand(const std::string& command) override {
    return installer_.runHelperCommand(command);
  }
  // A helper that launchd is starting again, or that is busy, is waited for:
  // asked right after its restart, it would be taken for absent.
  bool helperIsAvailable() override { return client_->probe() == helperclient::HelperPresence::current; }

 private:
  std::shared_ptr<helperclient::HelperClient> client_;
  helperclient::HelperInstaller installer_;
};

// The running application's ports, built around the three given here so that
// the benchmarks can time the clock and the diagnosis and name the bundle.
MacProxyEnvironment productionEnvironment(std::shared_ptr<platform::Clock> clock,
                                          std::shared_ptr<ProxyDiagnosis> diagnosis,
                                          std::shared_ptr<platform::Bundle> bundle);

}  // namespace tavlune::manager
