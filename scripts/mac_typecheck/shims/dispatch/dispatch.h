// The queue type the headers take, as <dispatch/object.h> declares it for
// C and C++ without Objective-C.
#pragma once

typedef struct dispatch_queue_s* dispatch_queue_t;
