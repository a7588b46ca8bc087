// The queue type the headers take, as <dispatch/object.h> declares it for
// C and C++ without Objective-C, and the calls of the main queue's adapter
// (platform/dispatch/dispatch_main_queue_mac.cc) with the SDK's signatures.
#pragma once

#include <stdint.h>

typedef struct dispatch_queue_s* dispatch_queue_t;
typedef uint64_t dispatch_time_t;
typedef void (*dispatch_function_t)(void* _Nullable);

#define DISPATCH_TIME_NOW (0ull)
#define NSEC_PER_MSEC 1000000ull

extern "C" {
dispatch_queue_t _Nonnull dispatch_get_main_queue(void);
void dispatch_async_f(dispatch_queue_t _Nonnull queue, void* _Nullable context, dispatch_function_t _Nonnull work);
void dispatch_after_f(dispatch_time_t when, dispatch_queue_t _Nonnull queue, void* _Nullable context,
                      dispatch_function_t _Nonnull work);
dispatch_time_t dispatch_time(dispatch_time_t when, int64_t delta);
}
