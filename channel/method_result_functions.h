// A MethodResult whose answers go to plain functions: how tests capture replies
// and how transport code turns an answer into an envelope.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "channel/method_result.h"

namespace tavlune::channel {

using ResultHandlerSuccess = std::function<void(const EncodableValue* result)>;
using ResultHandlerError =
    std::function<void(const std::string& code, const std::string& message, const EncodableValue* details)>;
using ResultHandlerNotImplemented = std::function<void()>;

class MethodResultFunctions : public MethodResult {
 public:
  // Any handler may be empty; that answer is then accepted and dropped.
  MethodResultFunctions(ResultHandlerSuccess on_success, ResultHandlerError on_error,
                        ResultHandlerNotImplemented on_not_implemented)
      : on_success_(std::move(on_success)),
        on_error_(std::move(on_error)),
        on_not_implemented_(std::move(on_not_implemented)) {}

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    if (on_success_) on_success_(result);
  }
  void ErrorInternal(const std::string& code, const std::string& message, const EncodableValue* details) override {
    if (on_error_) on_error_(code, message, details);
  }
  void NotImplementedInternal() override {
    if (on_not_implemented_) on_not_implemented_();
  }

 private:
  ResultHandlerSuccess on_success_;
  ResultHandlerError on_error_;
  ResultHandlerNotImplemented on_not_implemented_;
};

}  // namespace tavlune::channel
