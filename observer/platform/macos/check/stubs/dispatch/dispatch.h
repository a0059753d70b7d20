// Declarations of the part of libdispatch that this project calls, written from Apple's
// public documentation for type checks without an SDK. Declarations only. (In the SDK,
// under Objective-C, a queue is an object; here it is an opaque pointer either way.)
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

typedef struct dispatch_queue_s* dispatch_queue_t;
dispatch_queue_t dispatch_get_main_queue(void);

#ifdef __cplusplus
}
#endif
