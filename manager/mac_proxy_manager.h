// The native half of the application: answers every call of the front end on
// the method channel, and owns the constants and the work queue that the
// manager's operations share.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "manager/flow_ports.h"
#include "manager/proof_tracker.h"
#include "manager/proxy_operations.h"
#include "channel/method_call.h"
#include "platform/defaults/user_defaults.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/main_queue.h"
#include "platform/dispatch/serial_queue.h"
#include "platform/sysconfig/network_configuration.h"
#include "platform/workspace/workspace.h"

namespace tavlune::manager {

// The platform pieces the manager works with, given by construction so that
// tests can hand in fakes.
struct MacProxyEnvironment {
  std::shared_ptr<platform::UserDefaults> defaults;
  std::shared_ptr<platform::Workspace> workspace;
  std::shared_ptr<platform::MainQueue> mainQueue;
  std::shared_ptr<platform::SerialQueue> queue;
  std::shared_ptr<platform::Clock> clock;
  // What the flows need besides; tests of the dispatcher alone leave them out.
  std::shared_ptr<platform::sysconfig::NetworkConfiguration> network;
  std::shared_ptr<ProxyDiagnosis> diagnosis;
  std::shared_ptr<HelperCommands> helper;
  // How long quitting waits for the take-back; by default from the stored
  // snapshot's line (ProxyFlows::terminationBound). Tests shorten it.
  std::optional<std::chrono::milliseconds> terminationBound;
  // The connects under way, for the front ends that follow or cancel them;
  // the flows make their own when none is given.
  std::shared_ptr<ProofTracker> connects = nullptr;
  // The snapshot's second copy, a file of the application's own
  // (model/snapshot_store.h); empty: none.
  std::string snapshotCopyPath = "";
};

class MacProxyManager {
 public:
  static constexpr const char* queueLabel = "com.tavlune.macos.proxy";
  static constexpr const char* networkSettingsURL = "x-apple.systempreferences:com.apple.Network-Settings.extension";

  // The one manager of the process, built with the real platform on first use.
  static MacProxyManager& shared();

  MacProxyManager(MacProxyEnvironment environment, std::shared_ptr<ProxyOperations> operations);
  MacProxyManager(const MacProxyManager&) = delete;
  MacProxyManager& operator=(const MacProxyManager&) = delete;

  // Answers every call exactly once: before returning, or later from the
  // operation it hands the result to. Entered on the main thread.
  void handle(const channel::MethodCall& call, MethodResultPtr result);

  // Repairs what an earlier run left behind; queued, returns at once.
  void cleanupOrphanedConnection();

  // Takes the system back before the process ends. Queued behind everything
  // already queued; completion is called once, on the main queue, whatever
  // the outcome.
  void disconnectForTermination(std::function<void()> completion);

  const MacProxyEnvironment& environment() const { return environment_; }

 private:
  // True when a connection state is stored and decodes.
  bool hasStoredState();

  MacProxyEnvironment environment_;
  std::shared_ptr<ProxyOperations> operations_;
};

// The process's main queue, served by the application's run loop.
std::shared_ptr<platform::MainQueue> sharedMainQueue();

}  // namespace tavlune::manager
