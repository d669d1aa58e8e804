#include "dispatch/dispatch.h"

#include "Foundation/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

using platform::Thread;

TEST(SerialQueue, RunsWorkInOrderEvenAfterItsLastRelease) {
    char label[] = "com.example.serial";
    dispatch_queue_t queue = dispatch_queue_create(label, DISPATCH_QUEUE_SERIAL);
    ASSERT_NE(queue, nullptr);
    label[0] = 'X';  // the label was copied
    EXPECT_STREQ(dispatch_queue_get_label(queue), "com.example.serial");
    EXPECT_EQ(dispatch_queue_get_label(queue), dispatch_queue_get_label(queue));

    std::vector<int> order;
    std::promise<void> done;
    for (int i = 0; i < 100; ++i) dispatch_async(queue, [&order, i] { order.push_back(i); });
    dispatch_async_f(queue, &done, [](void* context) { static_cast<std::promise<void>*>(context)->set_value(); });
    dispatch_release(queue);  // pending work still runs
    done.get_future().wait();
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
    dispatch_async(nullptr, [] {});
    dispatch_async_f(nullptr, nullptr, [](void*) {});
}

TEST(SerialQueue, TheCurrentQueueIsTheRunningQueue) {
    dispatch_queue_t queue = dispatch_queue_create(nullptr, DISPATCH_QUEUE_SERIAL);
    EXPECT_STREQ(dispatch_queue_get_label(queue), "");
    std::promise<std::pair<dispatch_queue_t, bool>> seen;
    dispatch_async(queue, [&] { seen.set_value({dispatch_get_current_queue(), Thread::isMainThread()}); });
    const auto [current, mainThread] = seen.get_future().get();
    EXPECT_EQ(current, queue);
    EXPECT_FALSE(mainThread);
    dispatch_release(queue);

    std::pair<dispatch_queue_t, std::string> onThread{queue, "x"};
    std::thread([&] { onThread = {dispatch_get_current_queue(), dispatch_queue_get_label(nullptr)}; }).join();
    EXPECT_EQ(onThread.first, nullptr);
    EXPECT_EQ(onThread.second, "");
}

TEST(SerialQueue, LivesUntilItsLastReleaseAndPendingWork) {
    dispatch_queue_t queue = dispatch_queue_create("retained", nullptr);
    dispatch_retain(queue);
    dispatch_release(queue);
    std::promise<void> gate;
    std::shared_future<void> open = gate.get_future().share();
    std::atomic<int> ran{0};
    dispatch_async(queue, [open, &ran] { open.wait(); ++ran; });
    dispatch_async(queue, [&ran] { ++ran; });
    dispatch_release(queue);
    gate.set_value();
    for (int wait = 0; wait < 1000 && ran < 2; ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(ran, 2);
}

// An idle worker watches for work a little while before it sleeps; work that
// comes around the moment it gives up watching must still wake it.
TEST(SerialQueue, WorkSubmittedAsTheWorkerGoesToSleepStillRuns) {
    dispatch_queue_t queue = dispatch_queue_create("sleepy", nullptr);
    for (int round = 0; round < 6000; ++round) {
        std::promise<void> ran;
        std::future<void> done = ran.get_future();
        dispatch_async(queue, [&ran] { ran.set_value(); });
        ASSERT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "round " << round;
        // The next submission comes around the end of the worker's watch,
        // 10 to 40 µs later, at 100 ns steps (a sleep is not that fine).
        const auto next = std::chrono::steady_clock::now() + std::chrono::nanoseconds(10000 + round % 300 * 100);
        while (std::chrono::steady_clock::now() < next) {
        }
    }
    dispatch_release(queue);
}

TEST(MainQueue, RunsItsWorkWhenTheMainThreadDrainsIt) {
    dispatch_queue_t main = dispatch_get_main_queue();
    EXPECT_EQ(dispatch_get_current_queue(), main);
    EXPECT_EQ(dispatch_queue_get_label(nullptr), dispatch_queue_get_label(main));
    dispatch_retain(main);
    dispatch_release(main);
    dispatch_release(main);  // the main queue is never freed

    std::vector<std::string> ran;
    dispatch_async(main, [&] {
        ran.push_back(dispatch_get_current_queue() == main ? "first on main" : "first elsewhere");
        dispatch_async(main, [&] { ran.push_back("queued while draining"); });
    });
    EXPECT_TRUE(ran.empty());
    std::size_t drainedElsewhere = 1;
    std::thread([&] { drainedElsewhere = dispatch_main_queue_drain(); }).join();
    EXPECT_EQ(drainedElsewhere, 0u);
    EXPECT_EQ(dispatch_main_queue_drain(), 1u);
    EXPECT_EQ(ran, std::vector<std::string>{"first on main"});
    EXPECT_EQ(dispatch_main_queue_drain(), 1u);
    EXPECT_EQ(ran.back(), "queued while draining");
    EXPECT_EQ(dispatch_main_queue_drain(), 0u);
}
