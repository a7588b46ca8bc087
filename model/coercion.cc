#include "model/coercion.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/text/trim.h"

namespace tavlune::model {
namespace {

namespace plist = platform::plist;
using platform::json::Json;

std::string describe(const plist::Value& value) {
  return std::visit(
      [](const auto& v) -> std::string {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, bool>) return describeBool(v);
        else if constexpr (std::is_same_v<T, int64_t>) return std::to_string(v);
        else if constexpr (std::is_same_v<T, double>) return describeNumber(v);
        else if constexpr (std::is_same_v<T, std::string>) return v;
        else if constexpr (std::is_same_v<T, plist::Data>) return describeCount("data", v.size());
        else if constexpr (std::is_same_v<T, plist::Date>) return "<date " + describeNumber(v.secondsSince2001) + ">";
        else if constexpr (std::is_same_v<T, plist::Uid>) return "<uid " + std::to_string(v.value) + ">";
        else if constexpr (std::is_same_v<T, plist::Array>) return describeCount("array", v.size());
        else return describeCount("dictionary", v.size());
      },
      static_cast<const plist::Value::super&>(value));
}

std::string describe(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null: return "<null>";
    case Json::value_t::boolean: return describeBool(value.get<bool>());
    case Json::value_t::number_integer: return std::to_string(value.get<int64_t>());
    case Json::value_t::number_unsigned: return std::to_string(value.get<uint64_t>());
    case Json::value_t::number_float: return describeNumber(value.get<double>());
    case Json::value_t::string: return value.get<std::string>();
    case Json::value_t::array: return describeCount("array", value.size());
    default: return describeCount("object", value.size());
  }
}

}  // namespace

std::string describeBool(bool value) { return value ? "1" : "0"; }

std::string describeCount(const char* kind, std::size_t count) {
  return "<" + std::string(kind) + " of " + std::to_string(count) + ">";
}

std::optional<std::string> trimmedText(std::string_view description) {
  std::string_view trimmed = platform::text::trimWhitespaceAndNewlines(description);
  if (trimmed.empty()) return std::nullopt;
  return std::string(trimmed);
}

std::optional<int64_t> decimalInteger(std::string_view text) {
  bool plus = !text.empty() && text.front() == '+';
  if (plus) text.remove_prefix(1);
  // from_chars takes a leading "-" but no "+"; one sign at most.
  std::string_view digits = !plus && !text.empty() && text.front() == '-' ? text.substr(1) : text;
  if (digits.empty() || digits.front() < '0' || digits.front() > '9') return std::nullopt;
  int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string describeNumber(double value) {
  char buffer[64];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return error == std::errc() ? std::string(buffer, end) : std::string("<number>");
}

int64_t truncatedInteger(double value) {
  if (std::isnan(value)) return 0;
  if (value <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
  if (value >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
  return static_cast<int64_t>(value);
}

std::optional<std::string> text(const plist::Value* value) {
  if (!value) return std::nullopt;
  return trimmedText(describe(*value));
}

std::optional<std::string> text(const Json* value) {
  if (!value) return std::nullopt;
  return trimmedText(describe(*value));
}

std::optional<int64_t> integer(const plist::Value* value) {
  if (!value) return std::nullopt;
  if (auto v = value->as<int64_t>()) return *v;
  if (auto v = value->as<double>()) return truncatedInteger(*v);
  if (auto v = value->as<bool>()) return *v ? 1 : 0;
  auto described = text(value);
  if (!described) return std::nullopt;
  return decimalInteger(*described);
}

std::optional<int64_t> integer(const Json* value) {
  if (!value) return std::nullopt;
  if (value->is_number_integer()) {
    // An unsigned value past the signed range has no 64-bit signed meaning;
    // rather than wrap it to a negative number it counts as absent.
    if (value->is_number_unsigned() && value->get<uint64_t>() > uint64_t(std::numeric_limits<int64_t>::max()))
      return std::nullopt;
    return value->get<int64_t>();
  }
  if (value->is_number_float()) return truncatedInteger(value->get<double>());
  if (value->is_boolean()) return value->get<bool>() ? 1 : 0;
  auto described = text(value);
  if (!described) return std::nullopt;
  return decimalInteger(*described);
}

}  // namespace tavlune::model
