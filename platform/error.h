// The error every platform stand-in reports: the platform's own description of
// what went wrong, shown to the user as it stands, and the little of its cause
// that callers decide on.
#pragma once

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/result.h"

namespace tavlune::platform {

// The causes callers tell apart; any other is `other`.
enum class ErrorCode {
  other,
  notFound,      // ENOENT: no such file
  notDirectory,  // ENOTDIR: a folder on the way is a file
  refused,       // ECONNREFUSED: a socket file nobody accepts on
  timedOut,      // ETIMEDOUT, or a call its time-out ended (EAGAIN, EINPROGRESS)
  exhausted,     // EMFILE, ENFILE, ENOBUFS, ENOMEM: out of descriptors or memory
};

constexpr ErrorCode errorCodeOf(int errnum) {
  switch (errnum) {
    case ENOENT: return ErrorCode::notFound;
    case ENOTDIR: return ErrorCode::notDirectory;
    case ECONNREFUSED: return ErrorCode::refused;
    case ETIMEDOUT:
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINPROGRESS: return ErrorCode::timedOut;
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM: return ErrorCode::exhausted;
    default: return ErrorCode::other;
  }
}

struct Error {
  std::string description;
  ErrorCode code = ErrorCode::other;

  // "what: strerror(errnum)". errno is turned into text and code here and
  // nowhere else.
  static Error fromErrno(const std::string& what, int errnum = errno) {
    return Error{what + ": " + std::strerror(errnum), errorCodeOf(errnum)};
  }
  // strerror(errnum) alone, for callers that say what they tried themselves.
  static Error ofErrno(int errnum = errno) { return Error{std::strerror(errnum), errorCodeOf(errnum)}; }
  bool operator==(const Error&) const = default;
};

template <typename T>
using Result = Expected<T, Error>;

}  // namespace tavlune::platform
