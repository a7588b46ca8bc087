// Standard Base64 (RFC 4648 alphabet with "+" and "/", "=" padding, no line
// breaks). Decoding is strict: anything else is refused, not skipped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavlune::platform::text {

std::string base64Encode(const std::vector<uint8_t>& bytes);
std::string base64Encode(std::string_view bytes);
std::optional<std::vector<uint8_t>> base64Decode(std::string_view text);

}  // namespace tavlune::platform::text
