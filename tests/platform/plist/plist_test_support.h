// Builders for hand-made property lists, so tests can hold files that no
// writer would produce.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/plist/value.h"

namespace tavlune::platform::plist::testing {

// A "bplist00" file from encoded objects (object 0 is the root), with 1-byte
// references and 4-byte offsets.
inline Data binaryPlist(const std::vector<Data>& objects) {
  Data file = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
  std::vector<uint32_t> offsets;
  for (const Data& object : objects) {
    offsets.push_back(static_cast<uint32_t>(file.size()));
    file.insert(file.end(), object.begin(), object.end());
  }
  const uint64_t table = file.size();
  for (uint32_t offset : offsets) {
    for (int shift = 24; shift >= 0; shift -= 8) file.push_back(static_cast<uint8_t>(offset >> shift));
  }
  Data trailer(32, 0);
  trailer[6] = 4;
  trailer[7] = 1;
  auto put = [&trailer](size_t at, uint64_t v) {
    for (int i = 7; i >= 0; --i, v >>= 8) trailer[at + i] = static_cast<uint8_t>(v);
  };
  put(8, objects.size());
  put(16, 0);
  put(24, table);
  file.insert(file.end(), trailer.begin(), trailer.end());
  return file;
}

inline Value nestedArrays(size_t depth) {
  Value v{Array{}};
  for (size_t i = 1; i < depth; ++i) v = Value(Array{std::move(v)});
  return v;
}

inline std::string xmlDocument(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body + "</plist>";
}

}  // namespace tavlune::platform::plist::testing
