#include "cli/json_values.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tavlune::cli {

using channel::EncodableList;
using channel::EncodableMap;
using channel::EncodableValue;
using platform::json::Json;

Expected<EncodableValue, std::string> toEncodable(const Json& json) {
  switch (json.type()) {
    case Json::value_t::null:
      return EncodableValue();
    case Json::value_t::boolean:
      return EncodableValue(json.get<bool>());
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned: {
      if (json.is_number_unsigned() && json.get<uint64_t>() > uint64_t(std::numeric_limits<int64_t>::max()))
        return unexpected(std::string("the number ") + json.dump() + " is beyond the 64-bit range");
      const int64_t value = json.get<int64_t>();
      if (value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max())
        return EncodableValue(static_cast<int32_t>(value));
      return EncodableValue(value);
    }
    case Json::value_t::number_float:
      return EncodableValue(json.get<double>());
    case Json::value_t::string:
      return EncodableValue(json.get<std::string>());
    case Json::value_t::array: {
      EncodableList list;
      for (const auto& item : json) {
        auto converted = toEncodable(item);
        if (!converted) return converted;
        list.push_back(std::move(*converted));
      }
      return EncodableValue(std::move(list));
    }
    case Json::value_t::object: {
      EncodableMap map;
      for (const auto& [key, item] : json.items()) {
        auto converted = toEncodable(item);
        if (!converted) return converted;
        map.emplace(EncodableValue(key), std::move(*converted));
      }
      return EncodableValue(std::move(map));
    }
    default:
      return unexpected(std::string("binary JSON values are not supported"));
  }
}

Json toJson(const EncodableValue& value) {
  return std::visit(
      [](const auto& v) -> Json {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return nullptr;
        } else if constexpr (std::is_same_v<T, double>) {
          return std::isfinite(v) ? Json(v) : Json(nullptr);
        } else if constexpr (std::is_same_v<T, EncodableList>) {
          Json array = Json::array();
          for (const auto& item : v) array.push_back(toJson(item));
          return array;
        } else if constexpr (std::is_same_v<T, EncodableMap>) {
          const bool textKeys = std::all_of(v.begin(), v.end(), [](const auto& entry) {
            return std::holds_alternative<std::string>(entry.first);
          });
          Json out = textKeys ? Json::object() : Json::array();
          for (const auto& [key, item] : v) {
            if (textKeys) {
              out[std::get<std::string>(key)] = toJson(item);
            } else {
              out.push_back(Json::array({toJson(key), toJson(item)}));
            }
          }
          return out;
        } else if constexpr (std::is_same_v<T, std::vector<float>>) {
          Json array = Json::array();
          for (float item : v) array.push_back(std::isfinite(item) ? Json(item) : Json(nullptr));
          return array;
        } else if constexpr (std::is_same_v<T, std::vector<double>>) {
          Json array = Json::array();
          for (double item : v) array.push_back(std::isfinite(item) ? Json(item) : Json(nullptr));
          return array;
        } else {
          // bool, integers, strings and the integer lists convert as they are.
          return Json(v);
        }
      },
      static_cast<const EncodableValue::super&>(value));
}

}  // namespace tavlune::cli
