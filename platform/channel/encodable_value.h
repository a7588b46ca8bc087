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

inline bool EncodableValueLess::operator()(const EncodableValue& lhs, const EncodableValue& rhs) const {
  if (lhs.index() != rhs.index()) return lhs.index() < rhs.index();
  return std::visit(
      [&rhs, this](const auto& left) -> bool {
        using T = std::decay_t<decltype(left)>;
        const auto& right = std::get<T>(rhs);
        if constexpr (std::is_same_v<T, std::monostate>) {
          return false;
        } else if constexpr (std::is_same_v<T, EncodableMap>) {
          return std::lexicographical_compare(
              left.begin(), left.end(), right.begin(), right.end(), [this](const auto& x, const auto& y) {
                if ((*this)(x.first, y.first)) return true;
                if ((*this)(y.first, x.first)) return false;
                return (*this)(x.second, y.second);
              });
        } else if constexpr (std::is_same_v<T, EncodableList>) {
          return std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end(), *this);
        } else {
          return left < right;
        }
      },
      static_cast<const EncodableValue::super&>(lhs));
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
