// A property-list value: what a plist file holds, independent of its format.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

namespace tavlune::platform::plist {

class Value;

using Array = std::vector<Value>;
using Dictionary = std::map<std::string, Value>;
using Data = std::vector<uint8_t>;

// Seconds since 2001-01-01 00:00:00 UTC, as property lists count time.
struct Date {
  double secondsSince2001 = 0;
  bool operator==(const Date&) const = default;
};

// A keyed-archiver object reference; kept so that such files survive a read.
struct Uid {
  uint64_t value = 0;
  bool operator==(const Uid&) const = default;
};

namespace internal {
using ValueVariant = std::variant<bool, int64_t, double, std::string, Data, Date, Uid, Array, Dictionary>;
}

// Integers are signed 64-bit, as Foundation reads them.
class Value : public internal::ValueVariant {
 public:
  using super = internal::ValueVariant;
  using super::operator=;

  Value() : super(Dictionary{}) {}
  explicit Value(const char* text) : super(std::string(text)) {}
  template <class T>
  explicit Value(T&& t) : super(std::forward<T>(t)) {}

  template <class T>
  bool is() const { return std::holds_alternative<T>(*this); }
  template <class T>
  const T* as() const { return std::get_if<T>(this); }
  template <class T>
  T* as() { return std::get_if<T>(this); }

  // Written by hand: the variant's own comparisons recurse through the containers.
  friend bool operator==(const Value& lhs, const Value& rhs) {
    if (lhs.index() != rhs.index()) return false;
    return std::visit(
        [&rhs](const auto& left) -> bool {
          using T = std::decay_t<decltype(left)>;
          const auto& right = std::get<T>(rhs);
          if constexpr (std::is_same_v<T, Array>) {
            return left.size() == right.size() &&
                   std::equal(left.begin(), left.end(), right.begin(),
                              [](const Value& a, const Value& b) { return a == b; });
          } else if constexpr (std::is_same_v<T, Dictionary>) {
            return left.size() == right.size() &&
                   std::equal(left.begin(), left.end(), right.begin(), [](const auto& a, const auto& b) {
                     return a.first == b.first && a.second == b.second;
                   });
          } else {
            return left == right;
          }
        },
        static_cast<const super&>(lhs));
  }
};

}  // namespace tavlune::platform::plist
