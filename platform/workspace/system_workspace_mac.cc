#include "platform/workspace/workspace.h"

namespace tavlune::platform {

std::shared_ptr<Workspace> systemWorkspace() { return std::make_shared<OpenCommandWorkspace>(); }

}  // namespace tavlune::platform
