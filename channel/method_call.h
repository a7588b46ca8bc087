// A method call as it travels on a channel: a name and optional arguments.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "channel/encodable_value.h"

namespace tavlune::channel {

class MethodCall {
 public:
  explicit MethodCall(std::string method_name, std::unique_ptr<EncodableValue> arguments = nullptr)
      : method_name_(std::move(method_name)), arguments_(std::move(arguments)) {}
  MethodCall(std::string method_name, EncodableValue arguments)
      : MethodCall(std::move(method_name), std::make_unique<EncodableValue>(std::move(arguments))) {}

  // A call is answered once, by whoever holds it; copies would invite two answers.
  MethodCall(const MethodCall&) = delete;
  MethodCall& operator=(const MethodCall&) = delete;
  MethodCall(MethodCall&&) noexcept = default;
  MethodCall& operator=(MethodCall&&) noexcept = default;

  const std::string& method_name() const { return method_name_; }
  // Null when the call carries no arguments at all.
  const EncodableValue* arguments() const { return arguments_.get(); }

 private:
  std::string method_name_;
  std::unique_ptr<EncodableValue> arguments_;
};

}  // namespace tavlune::channel
