#include "objc/AutoreleasePool.h"

#include "objc/Object.h"

namespace platform {
namespace {
thread_local AutoreleasePool* innermostPool = nullptr;
}

AutoreleasePool::AutoreleasePool() : outer_(innermostPool) { innermostPool = this; }

AutoreleasePool::~AutoreleasePool() {
    // A release may autorelease more objects into this pool: drain until empty.
    while (!objects_.empty()) {
        std::vector<const Object*> draining;
        draining.swap(objects_);
        for (const Object* object : draining) object->release();
    }
    innermostPool = outer_;
}

bool AutoreleasePool::addObject(const Object* object) {
    if (innermostPool == nullptr) return false;
    innermostPool->objects_.push_back(object);
    return true;
}

std::size_t AutoreleasePool::pendingCountInCurrentPool() {
    return innermostPool ? innermostPool->objects_.size() : 0;
}

} // namespace platform
