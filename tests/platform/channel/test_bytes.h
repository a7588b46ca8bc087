// Byte-vector helpers for the channel tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

namespace tavlune::channel::testing {

using Bytes = std::vector<uint8_t>;

inline Bytes B(std::initializer_list<int> bytes) {
  Bytes out;
  for (int b : bytes) out.push_back(static_cast<uint8_t>(b));
  return out;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

inline Bytes Zeros(size_t count) { return Bytes(count, 0); }

inline Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

}  // namespace tavlune::channel::testing
