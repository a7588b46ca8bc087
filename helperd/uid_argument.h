// The user the daemon serves, from its "--uid" argument.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tavlune::helperd {

// No real user has it, so with it every client is refused.
inline constexpr uint32_t kNoUser = 4294967295u;

// ASCII digits with one optional leading "+" ("-" only for zero), no blanks,
// at most 4294967295.
std::optional<uint32_t> parseUid(std::string_view text);

// The argument after the first "--uid" (the program path is searched too),
// read by parseUid; kNoUser when missing, last or unreadable.
uint32_t allowedUidFromArguments(int argc, const char* const* argv);

}  // namespace tavlune::helperd
