#include <dispatch/dispatch.h>

#include "platform/dispatch/dispatch_main_queue.h"

namespace tavlune::platform {
namespace {

void drainQueue(void* queue) { static_cast<MainQueue*>(queue)->drain(); }

}  // namespace

void serveOnDispatchMainQueue(MainQueue& queue) {
  queue.serveThrough([&queue](std::chrono::milliseconds delay) {
    if (delay.count() <= 0) {
      dispatch_async_f(dispatch_get_main_queue(), &queue, drainQueue);
      return;
    }
    dispatch_after_f(dispatch_time(DISPATCH_TIME_NOW, static_cast<int64_t>(delay.count() * NSEC_PER_MSEC)),
                     dispatch_get_main_queue(), &queue, drainQueue);
  });
}

}  // namespace tavlune::platform
