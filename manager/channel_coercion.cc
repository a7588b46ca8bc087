#include "manager/channel_coercion.h"

#include <type_traits>
#include <variant>

#include "model/coercion.h"

namespace tavlune::manager {
namespace {

std::string describe(const channel::EncodableValue& value) {
  return std::visit(
      [](const auto& v) -> std::string {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) return "<null>";
        else if constexpr (std::is_same_v<T, bool>) return model::describeBool(v);
        else if constexpr (std::is_same_v<T, int32_t> || std::is_same_v<T, int64_t>) return std::to_string(v);
        else if constexpr (std::is_same_v<T, double>) return model::describeNumber(v);
        else if constexpr (std::is_same_v<T, std::string>) return v;
        else if constexpr (std::is_same_v<T, channel::EncodableMap>) return model::describeCount("map", v.size());
        else return model::describeCount("list", v.size());
      },
      static_cast<const channel::EncodableValue::super&>(value));
}

}  // namespace

std::optional<std::string> text(const channel::EncodableValue* value) {
  if (!value) return std::nullopt;
  return model::trimmedText(describe(*value));
}

std::optional<int64_t> integer(const channel::EncodableValue* value) {
  if (!value) return std::nullopt;
  if (auto v = std::get_if<int32_t>(value)) return *v;
  if (auto v = std::get_if<int64_t>(value)) return *v;
  if (auto v = std::get_if<double>(value)) return model::truncatedInteger(*v);
  if (auto v = std::get_if<bool>(value)) return *v ? 1 : 0;
  auto described = text(value);
  if (!described) return std::nullopt;
  return model::decimalInteger(*described);
}

}  // namespace tavlune::manager
