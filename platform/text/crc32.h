// CRC-32 (the IEEE polynomial, as zlib and PNG compute it): enough to tell a
// damaged file from a good one, not to stand against a forger.
#pragma once

#include <cstdint>
#include <string_view>

namespace tavlune::platform::text {

uint32_t crc32(std::string_view bytes);

}  // namespace tavlune::platform::text
