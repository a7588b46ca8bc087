// The value carried by method calls and replies: the same alternatives, in the
// same order, as Flutter's C++ EncodableValue, so that the standard codec maps
// one to one onto it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <type_traits>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace tavlune::channel {

class EncodableValue;

// Orders by alternative, then by content, so values can be map keys. A named
// comparator rather than operator<: with a class derived from std::variant that
// holds vectors of itself, C++20's rewritten <=> candidates recurse in the
// standard library's constraints.
struct EncodableValueLess {
  bool operator()(const EncodableValue& lhs, const EncodableValue& rhs) const;
};

using EncodableList = std::vector<EncodableValue>;
using EncodableMap = std::map<EncodableValue, EncodableValue, EncodableValueLess>;

namespace internal {
using EncodableValueVariant =
    std::variant<std::monostate, bool, int32_t, int64_t, double, std::string,
                 std::vector<uint8_t>, std::vector<int32_t>, std::vector<int64_t>,
                 std::vector<double>, EncodableList, EncodableMap, std::vector<float>>;
}  // namespace internal

class EncodableValue : public internal::EncodableValueVariant {
 public:
  using super = internal::EncodableValueVariant;
  using super::operator=;

  EncodableValue() = default;

  // Every conversion is explicit; a string literal must become a string, never
  // the bool that a pointer would otherwise convert to.
  explicit EncodableValue(const char* string) : super(std::string(string)) {}
  EncodableValue& operator=(const char* other) {
    *this = std::string(other);
    return *this;
  }

  template <class T>
  constexpr explicit EncodableValue(T&& t) noexcept : super(std::forward<T>(t)) {}

  bool IsNull() const { return std::holds_alternative<std::monostate>(*this); }

  // The value of an int32 or int64 alternative, widened.
  int64_t LongValue() const {
    if (std::holds_alternative<int32_t>(*this)) return std::get<int32_t>(*this);
    return std::get<int64_t>(*this);
  }

  friend bool operator==(const EncodableValue& lhs, const EncodableValue& rhs);
};

// A whole number as the platform codec carries a number object: int32 when it
// fits, int64 otherwise.
inline EncodableValue integerValue(int64_t value) {
  if (value >= INT32_MIN && value <= INT32_MAX) return EncodableValue(static_cast<int32_t>(value));
  return EncodableValue(value);
}

namespace internal {

// Three-way, so each level of nesting is walked once. A two-way < asks both
// a < b and b < a of every child, which is exponential in the nesting depth:
// a few hundred bytes of nested map keys off the wire would stall a decoder.
inline int compareEncodable(const EncodableValue& lhs, const EncodableValue& rhs) {
  if (lhs.index() != rhs.index()) return lhs.index() < rhs.index() ? -1 : 1;
  return std::visit(
      [&rhs](const auto& left) -> int {
        using T = std::decay_t<decltype(left)>;
        const auto& right = std::get<T>(rhs);
        if constexpr (std::is_same_v<T, std::monostate>) {
          return 0;
        } else if constexpr (std::is_same_v<T, EncodableMap>) {
          auto l = left.begin();
          auto r = right.begin();
          for (; l != left.end() && r != right.end(); ++l, ++r) {
            if (int c = compareEncodable(l->first, r->first)) return c;
            if (int c = compareEncodable(l->second, r->second)) return c;
          }
          return l != left.end() ? 1 : (r != right.end() ? -1 : 0);
        } else if constexpr (std::is_same_v<T, EncodableList>) {
          auto l = left.begin();
          auto r = right.begin();
          for (; l != left.end() && r != right.end(); ++l, ++r) {
            if (int c = compareEncodable(*l, *r)) return c;
          }
          return l != left.end() ? 1 : (r != right.end() ? -1 : 0);
        } else {
          // Scalars, strings and vectors of scalars: both directions are cheap.
          return left < right ? -1 : (right < left ? 1 : 0);
        }
      },
      static_cast<const EncodableValue::super&>(lhs));
}

}  // namespace internal

inline bool EncodableValueLess::operator()(const EncodableValue& lhs, const EncodableValue& rhs) const {
  return internal::compareEncodable(lhs, rhs) < 0;
}

inline bool operator==(const EncodableValue& lhs, const EncodableValue& rhs) {
  if (lhs.index() != rhs.index()) return false;
  return std::visit(
      [&rhs](const auto& left) -> bool {
        using T = std::decay_t<decltype(left)>;
        const auto& right = std::get<T>(rhs);
        if constexpr (std::is_same_v<T, std::monostate>) {
          return true;
        } else if constexpr (std::is_same_v<T, EncodableMap>) {
          return left.size() == right.size() &&
                 std::equal(left.begin(), left.end(), right.begin(),
                            [](const auto& a, const auto& b) { return a.first == b.first && a.second == b.second; });
        } else if constexpr (std::is_same_v<T, EncodableList>) {
          return left.size() == right.size() &&
                 std::equal(left.begin(), left.end(), right.begin(),
                            [](const EncodableValue& a, const EncodableValue& b) { return a == b; });
        } else {
          return left == right;
        }
      },
      static_cast<const EncodableValue::super&>(lhs));
}

}  // namespace tavlune::channel
