// Byte vectors for the channel tests.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>
namespace tavlune::channel::testing {
using Bytes = std::vector<uint8_t>;
inline Bytes B(std::initializer_list<int> bytes) { return Bytes(bytes.begin(), bytes.end()); }
inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}
inline Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }
}  // namespace tavlune::channel::testing
