// The one gate every reply to a method call goes through. A call is answered
// exactly once: the first of Success, Error or NotImplemented wins, any later
// answer is refused and never reaches the transport.
#pragma once

#include <atomic>
#include <string>

#include "channel/encodable_value.h"
#include "channel/flutter_error.h"

namespace tavlune::channel {

class MethodResult {
 public:
  MethodResult() = default;
  virtual ~MethodResult() = default;
  MethodResult(const MethodResult&) = delete;
  MethodResult& operator=(const MethodResult&) = delete;

  // Each returns true if it was the answer, false if the call was already answered.
  bool Success(const EncodableValue& result);
  bool Success();  // a null result
  bool Error(const std::string& code, const std::string& message = "", const EncodableValue* details = nullptr);
  bool Error(const std::string& code, const std::string& message, const EncodableValue& details);
  bool Error(const FlutterError& error);
  bool NotImplemented();

  bool answered() const { return answered_.load(std::memory_order_acquire); }

 protected:
  // Called at most once per result, with the first answer.
  virtual void SuccessInternal(const EncodableValue* result) = 0;
  virtual void ErrorInternal(const std::string& code, const std::string& message,
                             const EncodableValue* details) = 0;
  virtual void NotImplementedInternal() = 0;

 private:
  // Claims the single answer; true for the first caller only, whatever thread it is on.
  bool claim() { return !answered_.exchange(true, std::memory_order_acq_rel); }

  std::atomic<bool> answered_{false};
};

}  // namespace tavlune::channel
