#pragma once

#include <functional>

namespace platform {

// Facts about the calling thread.
class Thread {
public:
    // True on the thread that started the process.
    static bool isMainThread();

    // Blocks the calling thread for `seconds` (nothing when not positive).
    // On the main thread a windowing layer may take the sleep over, so that
    // the window system can go on drawing its windows meanwhile.
    static void sleepForTimeInterval(double seconds);

    // Installs what main-thread sleeps run instead of sleeping outright; null
    // removes it. Installed and used on the main thread only.
    static void setMainThreadSleepHandler(std::function<void(double seconds)> handler);
};

} // namespace platform
