// Keeps one job's program running as launchd would: started at load when
// RunAtLoad or KeepAlive is set, started again after it exits while KeepAlive
// is set, and stopped (SIGTERM, then SIGKILL) when the job is booted out.
#pragma once

#include "sim/launchctl/job.h"

namespace tavlune::sim {

// Runs in the supervising process until SIGTERM; never returns.
[[noreturn]] void superviseJob(const LaunchJob& job);

}  // namespace tavlune::sim
