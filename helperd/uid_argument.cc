#include "helperd/uid_argument.h"

namespace tavlune::helperd {

std::optional<uint32_t> parseUid(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > kNoUser) return std::nullopt;
  }
  if (negative && value != 0) return std::nullopt;
  return static_cast<uint32_t>(value);
}

uint32_t allowedUidFromArguments(int argc, const char* const* argv) {
  for (int i = 0; i < argc; ++i) {
    if (std::string_view(argv[i]) != "--uid") continue;
    if (i + 1 >= argc) return kNoUser;
    return parseUid(argv[i + 1]).value_or(kNoUser);
  }
  return kNoUser;
}

}  // namespace tavlune::helperd
