#pragma once

// Serial queues, the main queue and once-only guards. Usable from C; the
// closure forms of dispatch_async and dispatch_once are C++ only.

#include <stddef.h>

#ifdef __cplusplus
#include <functional>
#include <mutex>
#include <utility>
extern "C" {
#endif

typedef struct dispatch_queue_s* dispatch_queue_t;
typedef struct dispatch_queue_attr_s* dispatch_queue_attr_t;
typedef void (*dispatch_function_t)(void* context);

// The only attribute: a serial queue.
#define DISPATCH_QUEUE_SERIAL ((dispatch_queue_attr_t)0)

// A serial queue running its work, first in first out, on a thread of its
// own. The label is copied. Null when no thread can be started.
dispatch_queue_t dispatch_queue_create(const char* label, dispatch_queue_attr_t attr);

// A queue lives until its last reference is released and its pending work has
// run. The main queue ignores both calls; so do they for null.
void dispatch_retain(dispatch_queue_t queue);
void dispatch_release(dispatch_queue_t queue);

// Queues work and returns at once; nothing happens for a null queue or work.
void dispatch_async_f(dispatch_queue_t queue, void* context, dispatch_function_t work);

// The queue of the main thread. Its work runs when the main thread drains it.
dispatch_queue_t dispatch_get_main_queue(void);

// Runs the work queued on the main queue so far, on the calling thread, which
// must be the main thread (elsewhere nothing runs). Returns how many ran.
size_t dispatch_main_queue_drain(void);

// The queue whose work is running on this thread; the main queue on the main
// thread outside other queues; null on any other thread.
dispatch_queue_t dispatch_get_current_queue(void);

// The queue's label, a pointer that stays the same for the queue's life. For
// null: the label of the current queue, or "" when there is none.
const char* dispatch_queue_get_label(dispatch_queue_t queue);

#ifdef __cplusplus
} // extern "C"

typedef std::once_flag dispatch_once_t;

void dispatch_async(dispatch_queue_t queue, std::function<void()> work);

// Called when work arrives on the main queue while it holds none, on the
// thread that queued it: an event loop then drains the queue when woken,
// with no need to look at it meanwhile. Empty: nothing is called.
void dispatch_main_queue_set_wake_handler(std::function<void()> handler);

// Runs the work once per predicate; later callers wait until it has finished.
template <class Work>
void dispatch_once(dispatch_once_t* predicate, Work&& work) {
    std::call_once(*predicate, std::forward<Work>(work));
}

inline void dispatch_once_f(dispatch_once_t* predicate, void* context, dispatch_function_t work) {
    std::call_once(*predicate, work, context);
}
#endif
