// Installing the helper with administrator approval when it does not answer,
// and the one road by which the manager's flows hand it a command.
#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>

#include "helperclient/helper_client.h"
#include "platform/applescript/applescript.h"
#include "platform/bundle/bundle.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/main_queue.h"

namespace tavlune::helperclient {

class HelperInstaller {
 public:
  static constexpr const char* kHelperResource = "TavluneProxyHelper";
  static constexpr int kStartPolls = 30;
  static constexpr std::chrono::milliseconds kStartPollInterval{100};
  static constexpr const char* kBusyText =
      "The proxy helper took the connection but has not answered; it may be busy. Nothing was sent: try again in a "
      "moment.";

  struct Ports {
    std::shared_ptr<HelperClient> client;
    std::shared_ptr<platform::AppleScript> appleScript;
    std::shared_ptr<platform::Bundle> bundle;
    std::shared_ptr<platform::MainQueue> mainQueue;
    std::shared_ptr<platform::Clock> clock;
    std::function<uid_t()> userId;  // the real user id
  };

  explicit HelperInstaller(Ports ports) : ports_(std::move(ports)) {}

  // Copies the helper out of the bundle, writes and (re)starts its job with
  // one approved command, then waits for it to answer with this version.
  ManagerResult<void> installPrivilegedHelper();

  // Runs one shell command line as root after approval, on the main thread.
  ManagerResult<void> executePrivileged(const std::string& command);

  // Probe, install when nothing listens or something else answers, then send
  // the command. A helper that took the probe and has not answered is not
  // reinstalled: the call fails, having sent nothing. A failed installation
  // never handed anything over.
  HelperResult<void> runHelperCommand(const std::string& command);

 private:
  Ports ports_;
};

}  // namespace tavlune::helperclient
