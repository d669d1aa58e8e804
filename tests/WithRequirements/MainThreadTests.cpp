#include "WithRequirements/RequiredMainThread.h"

#include "Foundation/OperationQueue.h"
#include "dispatch/dispatch.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

using platform::OperationQueue;

namespace {

struct Facts {
    int thread = -1;
    int queue = -1;
};

Facts factsHere() { return {__NSIsRunningOnMainThread(), __NSIsRunningOnMainQueue()}; }

// The facts inside work run on the queue.
Facts factsOn(dispatch_queue_t queue) {
    std::promise<Facts> facts;
    dispatch_async(queue, [&] { facts.set_value(factsHere()); });
    return facts.get_future().get();
}

} // namespace

TEST(MainThread, TheMainThreadOutsideQueuesIsMainThreadAndMainQueue) {
    ASSERT_EQ(OperationQueue::currentQueue(), nullptr);
    const Facts facts = factsHere();
    EXPECT_EQ(facts.thread, 1);
    EXPECT_EQ(facts.queue, 1);
}

TEST(MainThread, OtherThreadsAndQueuesAreNeither) {
    Facts onThread;
    std::thread([&] { onThread = factsHere(); }).join();
    EXPECT_EQ(onThread.thread, 0);
    EXPECT_EQ(onThread.queue, 0);

    // Same label text as the main queue, but another queue.
    dispatch_queue_t lookalike = dispatch_queue_create(dispatch_queue_get_label(dispatch_get_main_queue()), nullptr);
    const Facts onQueue = factsOn(lookalike);
    dispatch_release(lookalike);
    EXPECT_EQ(onQueue.thread, 0);
    EXPECT_EQ(onQueue.queue, 0);
}

TEST(MainThread, WorkOnTheMainDispatchQueueAndMainOperationQueueCounts) {
    Facts onMainQueue;
    Facts inOperation;
    bool operationQueueWasCurrent = false;
    dispatch_async(dispatch_get_main_queue(), [&] { onMainQueue = factsHere(); });
    OperationQueue::mainQueue()->addOperationWithBlock([&] {
        inOperation = factsHere();
        operationQueueWasCurrent = OperationQueue::currentQueue() == OperationQueue::mainQueue();
    });
    EXPECT_EQ(dispatch_main_queue_drain(), 2u);
    EXPECT_EQ(onMainQueue.thread, 1);
    EXPECT_EQ(onMainQueue.queue, 1);
    EXPECT_EQ(inOperation.thread, 1);
    EXPECT_TRUE(operationQueueWasCurrent);
    EXPECT_EQ(OperationQueue::currentQueue(), nullptr);
}
