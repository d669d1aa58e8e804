#include "objc/Class.h"

#include "objc/Object.h"

#include <dlfcn.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace platform {
namespace {

struct ImageClasses {
    const void* image;
    std::unordered_map<std::string, const Class*> byName;
};

// Classes by name, kept per image in the order the images registered.
// Never destroyed: classes of images unloaded at exit still unregister.
struct ClassRegistry {
    std::mutex mutex;
    std::vector<ImageClasses> images;

    static ClassRegistry& shared() {
        static ClassRegistry* registry = new ClassRegistry;
        return *registry;
    }

    void add(const Class& cls) {
        std::lock_guard lock(mutex);
        auto it = std::find_if(images.begin(), images.end(),
                               [&](const ImageClasses& entry) { return entry.image == cls.image(); });
        if (it == images.end()) {
            images.push_back({cls.image(), {}});
            it = images.end() - 1;
        }
        it->byName.try_emplace(cls.name(), &cls);
    }

    void remove(const Class& cls) {
        std::lock_guard lock(mutex);
        for (auto it = images.begin(); it != images.end(); ++it) {
            if (it->image != cls.image()) continue;
            auto found = it->byName.find(cls.name());
            if (found != it->byName.end() && found->second == &cls) it->byName.erase(found);
            if (it->byName.empty()) images.erase(it);
            return;
        }
    }

    const Class* find(std::string_view name, const void* image) {
        std::lock_guard lock(mutex);
        const std::string key(name);
        for (const ImageClasses& entry : images) {
            if (entry.image != image) continue;
            if (auto found = entry.byName.find(key); found != entry.byName.end()) return found->second;
        }
        for (const ImageClasses& entry : images) {
            if (auto found = entry.byName.find(key); found != entry.byName.end()) return found->second;
        }
        return nullptr;
    }
};

} // namespace

Class::Class(const char* name, const Class* superclass, Factory factory,
             std::initializer_list<SelectorEntry> selectors)
    : name_(name), superclass_(superclass), factory_(factory), image_(imageContaining(this)) {
    for (const SelectorEntry& entry : selectors) methods_.emplace(std::string(entry.selector), entry.method);
    ClassRegistry::shared().add(*this);
}

Class::~Class() { ClassRegistry::shared().remove(*this); }

bool Class::isSubclassOfClass(const Class& other) const {
    for (const Class* cls = this; cls; cls = cls->superclass_) {
        if (cls == &other) return true;
    }
    return false;
}

const Method* Class::methodForSelector(std::string_view selector) const {
    const std::string key(selector);
    for (const Class* cls = this; cls; cls = cls->superclass_) {
        if (auto found = cls->methods_.find(key); found != cls->methods_.end()) return &found->second;
    }
    return nullptr;
}

bool Class::instancesRespondToSelector(std::string_view selector) const {
    return methodForSelector(selector) != nullptr;
}

Ref<Object> Class::createInstance() const { return factory_ ? factory_() : nullptr; }

const Class* Class::named(std::string_view name, const void* image) {
    return ClassRegistry::shared().find(name, image);
}

const void* Class::imageContaining(const void* address) {
    Dl_info info{};
    if (address == nullptr || dladdr(address, &info) == 0) return nullptr;
    return info.dli_fbase;
}

} // namespace platform
