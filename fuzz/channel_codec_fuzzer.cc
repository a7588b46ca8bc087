// Arbitrary bytes into every channel decoder. Whatever decodes must re-encode
// to bytes that decode to the same thing and re-encode identically.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "channel/method_result_functions.h"
#include "channel/standard_codec.h"

namespace {

using namespace tavlune::channel;

// Equality that holds for NaN payloads too: floating values compare by bits.
bool Same(const EncodableValue& a, const EncodableValue& b);

template <typename T>
bool SameBits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

bool Same(const EncodableValue& a, const EncodableValue& b) {
  if (a.index() != b.index()) return false;
  return std::visit(
      [&b](const auto& left) -> bool {
        using T = std::decay_t<decltype(left)>;
        const auto& right = std::get<T>(b);
        if constexpr (std::is_same_v<T, double>) {
          return std::memcmp(&left, &right, sizeof(double)) == 0;
        } else if constexpr (std::is_same_v<T, std::vector<double>> || std::is_same_v<T, std::vector<float>>) {
          return SameBits(left, right);
        } else if constexpr (std::is_same_v<T, EncodableList>) {
          if (left.size() != right.size()) return false;
          for (size_t i = 0; i < left.size(); ++i) {
            if (!Same(left[i], right[i])) return false;
          }
          return true;
        } else if constexpr (std::is_same_v<T, EncodableMap>) {
          if (left.size() != right.size()) return false;
          for (auto l = left.begin(), r = right.begin(); l != left.end(); ++l, ++r) {
            if (!Same(l->first, r->first) || !Same(l->second, r->second)) return false;
          }
          return true;
        } else {
          return left == right;
        }
      },
      static_cast<const EncodableValue::super&>(a));
}

bool SameReply(const MethodReply& a, const MethodReply& b) {
  if (a.index() != b.index()) return false;
  if (const auto* s = std::get_if<SuccessReply>(&a)) return Same(s->value, std::get<SuccessReply>(b).value);
  if (const auto* e = std::get_if<FlutterError>(&a)) {
    const auto& f = std::get<FlutterError>(b);
    if (e->code != f.code || e->message != f.message || e->details.has_value() != f.details.has_value()) return false;
    return !e->details || Same(*e->details, *f.details);
  }
  return true;
}

void Check(bool ok) {
  if (!ok) std::abort();
}

void FuzzMessage(std::span<const uint8_t> bytes) {
  auto value = DecodeMessage(bytes);
  if (!value) return;
  const auto encoded = EncodeMessage(*value);
  auto again = DecodeMessage(encoded);
  Check(again.has_value() && Same(*value, *again));
  Check(EncodeMessage(*again) == encoded);
}

void FuzzMethodCall(std::span<const uint8_t> bytes) {
  auto call = DecodeMethodCall(bytes);
  if (!call) return;
  Check(call->arguments() != nullptr);
  const auto encoded = EncodeMethodCall(*call);
  auto again = DecodeMethodCall(encoded);
  Check(again.has_value() && again->method_name() == call->method_name() &&
        Same(*again->arguments(), *call->arguments()));
  Check(EncodeMethodCall(*again) == encoded);
}

void FuzzEnvelope(std::span<const uint8_t> bytes) {
  auto reply = DecodeEnvelope(bytes);
  if (!reply) return;
  const auto encoded = EncodeReply(*reply);
  auto again = DecodeEnvelope(encoded);
  Check(again.has_value() && SameReply(*reply, *again));
  Check(EncodeReply(*again) == encoded);

  // The reply goes through the gate once; a second delivery is refused.
  int answers = 0;
  MethodResultFunctions result([&](const EncodableValue*) { ++answers; },
                               [&](const std::string&, const std::string&, const EncodableValue*) { ++answers; },
                               [&] { ++answers; });
  Check(deliverReply(*reply, result));
  Check(!deliverReply(*reply, result));
  Check(answers == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  FuzzMessage(bytes);
  FuzzMethodCall(bytes);
  FuzzEnvelope(bytes);
  return 0;
}
