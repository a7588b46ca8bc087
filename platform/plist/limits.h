// Bounds on what the property-list layer reads and writes. libplist recurses
// when it frees and writes trees and expands shared binary objects, so every
// input is measured against these before libplist sees it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavlune::platform::plist {

// Far above any preferences file; small enough to keep a hostile file cheap.
inline constexpr size_t kMaxInputBytes = 8 * 1024 * 1024;
// Nested arrays and dictionaries; 64 levels keep every recursion shallow.
inline constexpr size_t kMaxDepth = 64;
// Values after shared binary objects are expanded: caps "billion laughs" files.
inline constexpr uint64_t kMaxNodes = 1 << 20;

}  // namespace tavlune::platform::plist
