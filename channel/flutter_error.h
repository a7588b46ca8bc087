// An error reply as Flutter carries it: a code, a message, optional details.
#pragma once

#include <optional>
#include <string>

#include "channel/encodable_value.h"

namespace tavlune::channel {

struct FlutterError {
  std::string code;
  std::string message;
  std::optional<EncodableValue> details;

  // Written out: a defaulted == would pull optional<EncodableValue> through the
  // standard library's rewritten-comparison constraints.
  friend bool operator==(const FlutterError& lhs, const FlutterError& rhs) {
    if (lhs.code != rhs.code || lhs.message != rhs.message) return false;
    if (lhs.details.has_value() != rhs.details.has_value()) return false;
    return !lhs.details.has_value() || *lhs.details == *rhs.details;
  }
};

}  // namespace tavlune::channel
