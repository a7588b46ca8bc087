#include "channel/method_result.h"

namespace tavlune::channel {

bool MethodResult::Success(const EncodableValue& result) {
  if (!claim()) return false;
  SuccessInternal(&result);
  return true;
}

bool MethodResult::Success() {
  if (!claim()) return false;
  SuccessInternal(nullptr);
  return true;
}

bool MethodResult::Error(const std::string& code, const std::string& message, const EncodableValue* details) {
  if (!claim()) return false;
  ErrorInternal(code, message, details);
  return true;
}

bool MethodResult::Error(const std::string& code, const std::string& message, const EncodableValue& details) {
  return Error(code, message, &details);
}

bool MethodResult::Error(const FlutterError& error) {
  return Error(error.code, error.message, error.details ? &*error.details : nullptr);
}

bool MethodResult::NotImplemented() {
  if (!claim()) return false;
  NotImplementedInternal();
  return true;
}

}  // namespace tavlune::channel
