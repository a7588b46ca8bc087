// What each of the daemon's operations reports: a success flag and a text,
// the text becoming the reply's "error" when the flag is false.
#pragma once

#include <string>

namespace tavlune::helperd {

struct Outcome {
  bool succeeded = false;
  std::string text;
  bool operator==(const Outcome&) const = default;
};

}  // namespace tavlune::helperd
