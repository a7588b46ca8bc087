// The application's bundle where the simulated host has it: a benchmark that
// drives the manager sits outside it, yet the installer must find the helper
// resource as the application does.
#pragma once

#include <memory>

#include "platform/bundle/bundle.h"

namespace tavlune::bench {

inline std::shared_ptr<platform::Bundle> installedBundle() {
  return std::make_shared<platform::MainBundle>("/Applications/TavluneDesktop.app/Contents/MacOS/TavluneDesktop");
}

}  // namespace tavlune::bench
