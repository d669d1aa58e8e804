#pragma once

#include "objc/Object.h"

#include <functional>

namespace platform {

// The main operation queue: operations that run on the main thread when it
// drains the main dispatch queue. Other operation queues do not exist here.
class OperationQueue final : public Object {
public:
    PLATFORM_CLASS_RECORD  // "NSOperationQueue"

    static OperationQueue* mainQueue();
    // The queue whose operation is running on this thread; null outside one.
    static OperationQueue* currentQueue();

    void addOperationWithBlock(std::function<void()> work);

private:
    OperationQueue();
};

} // namespace platform
