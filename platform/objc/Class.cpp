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
             std::initializer_list<SelectorEntry> selectors, std::initializer_list<KeyEntry> keys)
    : name_(name), superclass_(superclass), factory_(factory), image_(imageContaining(this)) {
    for (const SelectorEntry& entry : selectors) methods_.emplace(std::string(entry.selector), entry.method);
    for (const KeyEntry& entry : keys) {
        if (entry.getter) getters_.emplace(std::string(entry.key), entry.getter);
        if (entry.setter) setters_.emplace(std::string(entry.key), entry.setter);
    }
    ClassRegistry::shared().add(*this);
}

Class::~Class() { ClassRegistry::shared().remove(*this); }

bool Class::isSubclassOfClass(const Class& other) const {
    for (const Class* cls = this; cls; cls = cls->superclass_) {
        if (cls == &other) return true;
    }
    return false;
}


namespace {
template <class Accessor>
const Accessor* findUpTheChain(const Class* cls, std::string_view key,
                               const std::unordered_map<std::string, Accessor>& (*table)(const Class&)) {
    const std::string text(key);
    for (; cls; cls = cls->superclass()) {
        const auto& entries = table(*cls);
        if (auto found = entries.find(text); found != entries.end()) return &found->second;
    }
    return nullptr;
}
} // namespace

const Method* Class::methodForSelector(std::string_view selector) const {
    return findUpTheChain<Method>(this, selector, [](const Class& cls) -> const auto& { return cls.methods_; });
}

const Getter* Class::getterForKey(std::string_view key) const {
    return findUpTheChain<Getter>(this, key, [](const Class& cls) -> const auto& { return cls.getters_; });
}

const Setter* Class::setterForKey(std::string_view key) const {
    return findUpTheChain<Setter>(this, key, [](const Class& cls) -> const auto& { return cls.setters_; });
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
