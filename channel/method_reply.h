// A reply to a method call once it is off the wire: a value, an error, or
// "not implemented" (an empty reply).
#pragma once

#include <type_traits>
#include <variant>

#include "channel/encodable_value.h"
#include "channel/flutter_error.h"
#include "channel/method_result.h"

namespace tavlune::channel {

struct SuccessReply {
  EncodableValue value;  // null when the call answered without a value
  friend bool operator==(const SuccessReply& lhs, const SuccessReply& rhs) { return lhs.value == rhs.value; }
};

struct NotImplementedReply {
  friend bool operator==(const NotImplementedReply&, const NotImplementedReply&) { return true; }
};

using MethodReply = std::variant<SuccessReply, FlutterError, NotImplementedReply>;

// Hands a decoded reply to a result; a null success value becomes Success().
// Returns what the result's gate returned.
inline bool deliverReply(const MethodReply& reply, MethodResult& result) {
  return std::visit(
      [&result](const auto& r) -> bool {
        using T = std::decay_t<decltype(r)>;
        if constexpr (std::is_same_v<T, SuccessReply>) {
          return r.value.IsNull() ? result.Success() : result.Success(r.value);
        } else if constexpr (std::is_same_v<T, FlutterError>) {
          return result.Error(r);
        } else {
          return result.NotImplemented();
        }
      },
      reply);
}

}  // namespace tavlune::channel
