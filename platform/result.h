// A small expected-like result: a value or an error, never an exception across
// subsystem boundaries.
#pragma once

#include <cassert>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace tavlune {

template <typename E>
struct Unexpected {
  E error;
};

template <typename E>
Unexpected<std::decay_t<E>> unexpected(E&& error) {
  return Unexpected<std::decay_t<E>>{std::forward<E>(error)};
}

template <typename T, typename E>
class [[nodiscard]] Expected {
 public:
  Expected(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  template <typename G, typename = std::enable_if_t<std::is_constructible_v<E, G>>>
  Expected(Unexpected<G> failure) : state_(std::in_place_index<1>, E(std::move(failure.error))) {}

  bool has_value() const { return state_.index() == 0; }
  explicit operator bool() const { return has_value(); }

  T& value() & { assert(has_value()); return std::get<0>(state_); }
  const T& value() const& { assert(has_value()); return std::get<0>(state_); }
  T&& value() && { assert(has_value()); return std::get<0>(std::move(state_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  E& error() & { assert(!has_value()); return std::get<1>(state_); }
  const E& error() const& { assert(!has_value()); return std::get<1>(state_); }
  E&& error() && { assert(!has_value()); return std::get<1>(std::move(state_)); }

 private:
  std::variant<T, E> state_;
};

template <typename E>
class [[nodiscard]] Expected<void, E> {
 public:
  Expected() = default;
  template <typename G, typename = std::enable_if_t<std::is_constructible_v<E, G>>>
  Expected(Unexpected<G> failure) : error_(E(std::move(failure.error))) {}

  bool has_value() const { return !error_.has_value(); }
  explicit operator bool() const { return has_value(); }

  E& error() & { assert(!has_value()); return *error_; }
  const E& error() const& { assert(!has_value()); return *error_; }

 private:
  std::optional<E> error_;
};

}  // namespace tavlune
