// The main queue served by the main dispatch queue, for a shell whose main
// thread runs AppKit's loop rather than MainQueue::run: the main dispatch
// queue is drained by that loop in every mode, the modal one of a deferred
// termination included.
#pragma once

#include "platform/dispatch/main_queue.h"

namespace tavlune::platform {

// Called once on the main thread, before anything is posted to queue.
void serveOnDispatchMainQueue(MainQueue& queue);

}  // namespace tavlune::platform
