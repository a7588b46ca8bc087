// The manager's long-running and live-state operations, behind one interface
// so that the dispatcher does not depend on how they are carried out.
#pragma once

#include <functional>
#include <memory>

#include "channel/encodable_value.h"
#include "channel/method_result.h"

namespace tavlune::manager {

using MethodResultPtr = std::unique_ptr<channel::MethodResult>;

class ProxyOperations {
 public:
  virtual ~ProxyOperations() = default;

  // Each of these answers its result exactly once, possibly later.
  virtual void connect(const channel::EncodableMap& arguments, MethodResultPtr result) = 0;
  virtual void disconnect(MethodResultPtr result) = 0;
  virtual void setWebRtcProtection(bool enabled, MethodResultPtr result) = 0;
  virtual void inspect(MethodResultPtr result) = 0;

  // Answered at once on the calling (main) thread.
  virtual channel::EncodableValue connectionStateValue() = 0;
  virtual bool systemProxyMatchesCurrentState() = 0;

  // Queued on the manager's queue; both return at once.
  virtual void cleanupOrphanedConnection() = 0;
  virtual void disconnectForTermination(std::function<void()> completion) = 0;
};

}  // namespace tavlune::manager
