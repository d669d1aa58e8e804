#include "dispatch/dispatch.h"

#include "Foundation/Thread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <string>
#include <system_error>
#include <thread>

#include <pthread.h>

struct dispatch_queue_s {
    dispatch_queue_s(const char* name, bool main) : label(name ? name : ""), isMain(main) {}

    std::atomic<long> references{1};
    const std::string label;
    const bool isMain;

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> pending;
    bool workerWaiting = false;
    bool released = false;
    // Whether there is work or a release to see, for a worker that watches
    // without the lock.
    std::atomic<bool> somethingToSee{false};
};

namespace {

thread_local dispatch_queue_t currentQueue = nullptr;

// Sets the current queue for a scope and restores the previous one.
class CurrentQueueScope {
public:
    explicit CurrentQueueScope(dispatch_queue_t queue) : saved_(currentQueue) { currentQueue = queue; }
    ~CurrentQueueScope() { currentQueue = saved_; }
    CurrentQueueScope(const CurrentQueueScope&) = delete;
    CurrentQueueScope& operator=(const CurrentQueueScope&) = delete;

private:
    dispatch_queue_t saved_;
};

// How long a worker with nothing to do watches for more before it sleeps.
// Work that comes meanwhile, as the next line of a burst of log lines does,
// is taken without waking a sleeping thread, a system call the submitter
// would otherwise pay for.
constexpr std::chrono::microseconds kWatchBeforeSleeping{20};

void pauseBriefly() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

bool somethingComesSoon(dispatch_queue_t queue) {
    const auto until = std::chrono::steady_clock::now() + kWatchBeforeSleeping;
    for (unsigned round = 1;; ++round) {
        if (queue->somethingToSee.load(std::memory_order_acquire)) return true;
        if (round % 64 == 0 && std::chrono::steady_clock::now() >= until) return false;
        pauseBriefly();
    }
}

// The worker of a serial queue: runs work until the queue is released and
// drained, then frees the queue. It takes the pending work in batches, so that
// submitters rarely meet it at the lock.
void runWorker(dispatch_queue_t queue) {
    CurrentQueueScope scope(queue);
    // Named after the queue (as far as the 15 characters allowed go), for
    // debuggers and profilers.
    pthread_setname_np(pthread_self(), queue->label.substr(0, 15).c_str());
    std::deque<std::function<void()>> batch;
    std::unique_lock lock(queue->mutex);
    for (;;) {
        while (queue->pending.empty() && !queue->released) {
            lock.unlock();
            const bool soon = somethingComesSoon(queue);
            lock.lock();
            // Work may have come between the watch and the lock, with nobody
            // to wake it: look again before sleeping.
            if (soon || !queue->pending.empty() || queue->released) continue;
            queue->workerWaiting = true;
            queue->wake.wait(lock);
            queue->workerWaiting = false;
        }
        if (queue->pending.empty()) break;
        batch.swap(queue->pending);
        queue->somethingToSee.store(false, std::memory_order_relaxed);
        lock.unlock();
        for (std::function<void()>& work : batch) {
            work();
            work = nullptr;
        }
        batch.clear();
        lock.lock();
    }
    lock.unlock();
    delete queue;
}

// Guarded by the main queue's mutex.
std::function<void()>& mainQueueWakeHandler() {
    static std::function<void()> handler;
    return handler;
}

// The worker is woken after the lock is given up, so that it does not wake
// only to wait for the lock. The submitter holds a reference, so the queue
// cannot be freed meanwhile.

void enqueue(dispatch_queue_t queue, std::function<void()> work) {
    if (queue == nullptr || !work) return;
    bool wake;
    {
        std::lock_guard lock(queue->mutex);
        const bool wasEmpty = queue->pending.empty();
        queue->pending.push_back(std::move(work));
        if (queue->isMain) {
            // Called under the lock, so that it cannot run once it is taken away.
            if (wasEmpty && mainQueueWakeHandler()) mainQueueWakeHandler()();
            return;
        }
        queue->somethingToSee.store(true, std::memory_order_release);
        wake = queue->workerWaiting;
        queue->workerWaiting = false;
    }
    if (wake) queue->wake.notify_one();
}

} // namespace

extern "C" {

dispatch_queue_t dispatch_queue_create(const char* label, dispatch_queue_attr_t) {
    auto* queue = new dispatch_queue_s(label, false);
    try {
        std::thread(runWorker, queue).detach();
    } catch (const std::system_error&) {
        delete queue;
        return nullptr;
    }
    return queue;
}

void dispatch_retain(dispatch_queue_t queue) {
    if (queue == nullptr || queue->isMain) return;
    queue->references.fetch_add(1, std::memory_order_relaxed);
}

void dispatch_release(dispatch_queue_t queue) {
    if (queue == nullptr || queue->isMain) return;
    if (queue->references.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    // Notified under the lock: the worker may free the queue once it is released.
    std::lock_guard lock(queue->mutex);
    queue->released = true;
    queue->somethingToSee.store(true, std::memory_order_release);
    queue->wake.notify_one();
}

void dispatch_async_f(dispatch_queue_t queue, void* context, dispatch_function_t work) {
    if (work == nullptr) return;
    enqueue(queue, [work, context] { work(context); });
}

dispatch_queue_t dispatch_get_main_queue(void) {
    static dispatch_queue_t const mainQueue = new dispatch_queue_s("main-thread", true);
    return mainQueue;
}

size_t dispatch_main_queue_drain(void) {
    if (!platform::Thread::isMainThread()) return 0;
    dispatch_queue_t queue = dispatch_get_main_queue();
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(queue->mutex);
        batch.swap(queue->pending);
    }
    CurrentQueueScope scope(queue);
    for (std::function<void()>& work : batch) work();
    return batch.size();
}

dispatch_queue_t dispatch_get_current_queue(void) {
    if (currentQueue) return currentQueue;
    return platform::Thread::isMainThread() ? dispatch_get_main_queue() : nullptr;
}

const char* dispatch_queue_get_label(dispatch_queue_t queue) {
    if (queue == nullptr) queue = dispatch_get_current_queue();
    return queue ? queue->label.c_str() : "";
}

} // extern "C"

void dispatch_async(dispatch_queue_t queue, std::function<void()> work) { enqueue(queue, std::move(work)); }

void dispatch_main_queue_set_wake_handler(std::function<void()> handler) {
    dispatch_queue_t queue = dispatch_get_main_queue();
    std::lock_guard lock(queue->mutex);
    mainQueueWakeHandler() = std::move(handler);
}
