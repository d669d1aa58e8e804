#pragma once

namespace platform {

// Facts about the calling thread.
class Thread {
public:
    // True on the thread that started the process.
    static bool isMainThread();
};

} // namespace platform
