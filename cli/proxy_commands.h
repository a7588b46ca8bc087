// connect and check: a proxy from the command line, proved by TavluneDesktop
// while the progress line says where it stands. Ctrl-C cancels while the
// proxy is being proved, when nothing has been changed.
#pragma once

#include "cli/arguments.h"
#include "cli/session.h"

namespace tavlune::cli {

int connectCommand(const Invocation& invocation, Session& session);
int checkCommand(const Invocation& invocation, Session& session);

}  // namespace tavlune::cli
