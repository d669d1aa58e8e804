#pragma once

#include <vector>

namespace platform {

class Object;

// A scope that releases, when it ends, every reference autoreleased into it
// on this thread. Pools nest; the innermost one receives the references.
class AutoreleasePool {
public:
    AutoreleasePool();
    ~AutoreleasePool();
    AutoreleasePool(const AutoreleasePool&) = delete;
    AutoreleasePool& operator=(const AutoreleasePool&) = delete;

    // Adds one reference to the innermost pool of this thread. Returns false
    // when the thread has no pool (the reference then leaks).
    static bool addObject(const Object* object);
    // Objects waiting in the innermost pool of this thread.
    static std::size_t pendingCountInCurrentPool();

private:
    std::vector<const Object*> objects_;
    AutoreleasePool* outer_;
};

} // namespace platform
