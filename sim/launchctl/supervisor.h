// Keeps one job's program running as launchd would: started at load when
// RunAtLoad or KeepAlive is set, in a session and process group of its own;
// started again after it exits while KeepAlive is set; and stopped (SIGTERM,
// then SIGKILL) when the job is booted out. Once the program has exited, what
// is left of its process group is killed, unless AbandonProcessGroup is set.
#pragma once

#include "sim/launchctl/job.h"

namespace tavlune::sim {

// Runs in the supervising process until SIGTERM; never returns.
[[noreturn]] void superviseJob(const LaunchJob& job);

}  // namespace tavlune::sim
