#include "helperd/uid_argument.h"

#include <charconv>

namespace tavlune::helperd {

std::optional<uint32_t> parseUid(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  // The sign is taken above; from_chars reads digits only and refuses a value
  // past the range.
  uint32_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (negative && value != 0) return std::nullopt;
  return value;
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
