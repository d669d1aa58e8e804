#include "Foundation/OperationQueue.h"

#include "dispatch/dispatch.h"

namespace platform {
namespace {
thread_local OperationQueue* runningQueue = nullptr;
}

const Class OperationQueue::classRecord{"NSOperationQueue", &Object::classRecord};

OperationQueue::OperationQueue() { makeImmortal(); }

OperationQueue* OperationQueue::mainQueue() {
    static OperationQueue* const queue = new OperationQueue;
    return queue;
}

OperationQueue* OperationQueue::currentQueue() { return runningQueue; }

void OperationQueue::addOperationWithBlock(std::function<void()> work) {
    if (!work) return;
    dispatch_async(dispatch_get_main_queue(), [this, work = std::move(work)] {
        struct Restore {
            OperationQueue* outer;
            ~Restore() { runningQueue = outer; }
        } restore{runningQueue};
        runningQueue = this;
        work();
    });
}

} // namespace platform
