#include "platform/json/json.h"

#include <cmath>

namespace tavlune::platform::json {
namespace {

// Depth of brackets outside strings; the parser itself is iterative, but
// destroying and walking a deep tree is not.
bool nestingWithinLimit(std::string_view text) {
  std::size_t depth = 0;
  bool inString = false;
  bool escaped = false;
  for (char c : text) {
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxDepth) return false;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return true;
}

bool holdsNul(const Json& value) {
  switch (value.type()) {
    case Json::value_t::string:
      return value.get_ref<const std::string&>().find('\0') != std::string::npos;
    case Json::value_t::array:
      for (const Json& item : value)
        if (holdsNul(item)) return true;
      return false;
    case Json::value_t::object:
      for (const auto& [key, item] : value.items())
        if (key.find('\0') != std::string::npos || holdsNul(item)) return true;
      return false;
    default:
      return false;
  }
}

// nlohmann's messages begin with "[json.exception.parse_error.101] "; people
// need only what follows.
std::string describe(const std::exception& e) {
  std::string_view what = e.what();
  if (auto close = what.find("] "); !what.empty() && what.front() == '[' && close != std::string_view::npos)
    what.remove_prefix(close + 2);
  return "The data is not valid JSON: " + std::string(what);
}

}  // namespace

Result<Json> parse(std::string_view text) {
  if (text.size() > kMaxInputBytes) return unexpected(Error{"The JSON data is too large."});
  if (text.find('\0') != std::string_view::npos)
    return unexpected(Error{"The data is not valid JSON: it contains a NUL character."});
  if (!nestingWithinLimit(text)) return unexpected(Error{"The JSON data is nested too deeply."});
  try {
    Json value = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/true,
                             /*ignore_comments=*/false);
    if (holdsNul(value)) return unexpected(Error{"The data is not valid JSON: a string contains a NUL character."});
    return value;
  } catch (const Json::exception& e) {
    return unexpected(Error{describe(e)});
  }
}

Result<std::string> serialize(const Json& value) {
  try {
    return value.dump(-1, ' ', /*ensure_ascii=*/false, Json::error_handler_t::strict);
  } catch (const Json::exception& e) {
    return unexpected(Error{"The value cannot be written as JSON: " + std::string(e.what())});
  }
}

Result<std::string> serializeEscapingSlashes(const Json& value) {
  auto text = serialize(value);
  if (!text) return text;
  // Outside strings compact JSON has no "/", so every one is inside a string.
  std::string escaped;
  escaped.reserve(text->size());
  for (char c : *text) {
    if (c == '/') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

bool isInteger(const Json& value) { return value.is_number_integer(); }

std::optional<int64_t> wholeNumber(const Json& value) {
  if (value.is_number_unsigned()) {
    uint64_t n = value.get<uint64_t>();
    if (n > static_cast<uint64_t>(INT64_MAX)) return std::nullopt;
    return static_cast<int64_t>(n);
  }
  if (value.is_number_integer()) return value.get<int64_t>();
  if (value.is_number_float()) {
    double d = value.get<double>();
    // -2^63 is exact as a double; 2^63 is the first value out of range.
    if (!std::isfinite(d) || d != std::trunc(d) || d < -9223372036854775808.0 || d >= 9223372036854775808.0)
      return std::nullopt;
    return static_cast<int64_t>(d);
  }
  return std::nullopt;
}

}  // namespace tavlune::platform::json
