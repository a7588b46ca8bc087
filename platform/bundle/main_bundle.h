// The running program's bundle, from the platform's adapter: the folders
// around the executable on Linux, CFBundle on macOS.
#pragma once

#include <memory>

#include "platform/bundle/bundle.h"

namespace tavlune::platform {

std::shared_ptr<Bundle> mainBundle();

}  // namespace tavlune::platform
