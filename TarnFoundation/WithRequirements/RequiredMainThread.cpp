#include "WithRequirements/RequiredMainThread.h"

#include "Foundation/OperationQueue.h"
#include "Foundation/Thread.h"
#include "dispatch/dispatch.h"

namespace {

// Labels are compared as pointers: a queue that merely shares the text is
// another queue.
bool onMainDispatchQueue() {
    return dispatch_queue_get_label(dispatch_get_current_queue()) ==
           dispatch_queue_get_label(dispatch_get_main_queue());
}

bool onMainOperationQueue() {
    platform::OperationQueue* current = platform::OperationQueue::currentQueue();
    return current != nullptr && current->isEqual(platform::OperationQueue::mainQueue());
}

} // namespace

extern "C" {

int __NSIsRunningOnMainThread(void) {
    const bool mainThread = platform::Thread::isMainThread();
    const bool mainOperationQueue = onMainOperationQueue();
    const bool mainDispatchQueue = onMainDispatchQueue();
    return mainThread || mainOperationQueue || mainDispatchQueue ? 1 : 0;
}

int __NSIsRunningOnMainQueue(void) { return onMainDispatchQueue() ? 1 : 0; }

} // extern "C"
