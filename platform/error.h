// The error every platform stand-in reports: the platform's own description of
// what went wrong, shown to the user as it stands.
#pragma once

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/result.h"

namespace tavlune::platform {

struct Error {
  std::string description;

  // "what: strerror(errnum)". errno is turned into text here and nowhere else.
  static Error fromErrno(const std::string& what, int errnum = errno) {
    return Error{what + ": " + std::strerror(errnum)};
  }
  bool operator==(const Error&) const = default;
};

template <typename T>
using Result = Expected<T, Error>;

}  // namespace tavlune::platform
