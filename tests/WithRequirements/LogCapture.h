#pragma once

#include "WithRequirements/RequiredCoreLog.h"

#include "Foundation/String.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

// Collects the lines the log queue hands to its hook while it lives. Writes
// can be held back on the queue to observe what callers do meanwhile.
class LogCapture {
public:
    LogCapture() {
        {
            std::lock_guard lock(state().mutex);
            state().lines.clear();
            state().held = false;
        }
        __CFLogSetLogStringFnPtr(&LogCapture::hook);
    }
    // A late line that still meets the hook only lands in the shared state.
    ~LogCapture() {
        releaseWrites();
        __CFLogSetLogStringFnPtr(nullptr);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Every line captured so far, once the lines queued before this call
    // have been written; the capture starts afresh.
    std::vector<std::string> lines() {
        const std::string sentinel = "capture-sentinel-" + std::to_string(++state().sentinels);
        platform::Ref<platform::String> line = platform::make<platform::String>(sentinel);
        __CFLogStringRefOnQueue(line.get());
        std::unique_lock lock(state().mutex);
        if (!waitUntil(lock, [&] { return state().seen == sentinel; })) ADD_FAILURE() << "the log queue stalled";
        return std::exchange(state().lines, {});
    }

    // The lines captured so far, after waiting (up to a timeout) until there
    // are `count`; a held write counts once it has reached the hook.
    std::vector<std::string> waitForLines(std::size_t count) {
        std::unique_lock lock(state().mutex);
        waitUntil(lock, [&] { return state().lines.size() >= count; });
        return state().lines;
    }

    // Holds every write in the hook until released.
    void holdWrites() { std::lock_guard lock(state().mutex); state().held = true; }
    void releaseWrites() {
        std::lock_guard lock(state().mutex);
        state().held = false;
        state().changed.notify_all();
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<std::string> lines;
        std::string seen;
        bool held = false;
        int sentinels = 0;
    };
    static State& state() {
        static State* const shared = new State;
        return *shared;
    }

    template <class Predicate>
    static bool waitUntil(std::unique_lock<std::mutex>& lock, Predicate predicate) {
        return state().changed.wait_for(lock, std::chrono::seconds(10), predicate);
    }

    static void hook(CFStringRef line) {
        std::unique_lock lock(state().mutex);
        const std::string text = line->text();
        if (text.rfind("capture-sentinel-", 0) == 0) {
            state().seen = text;
        } else {
            state().lines.push_back(text);
        }
        state().changed.notify_all();
        state().changed.wait(lock, [] { return !state().held; });
    }
};
