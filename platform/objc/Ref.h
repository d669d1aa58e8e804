#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

namespace platform {

// An owning pointer to a reference-counted object: retains on copy, releases
// on destruction. A plain T* is a borrowed reference.
template <class T>
class Ref {
public:
    Ref() = default;
    Ref(std::nullptr_t) {}
    explicit Ref(T* object) : object_(object) { if (object_) object_->retain(); }

    // Takes over a reference the caller already owns (a new object's first).
    static Ref adopt(T* object) { Ref ref; ref.object_ = object; return ref; }

    Ref(const Ref& other) : Ref(other.object_) {}
    Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}

    template <class U>
        requires std::is_convertible_v<U*, T*>
    Ref(const Ref<U>& other) : Ref(other.get()) {}

    template <class U>
        requires std::is_convertible_v<U*, T*>
    Ref(Ref<U>&& other) noexcept : object_(other.leak()) {}

    ~Ref() { if (object_) object_->release(); }

    Ref& operator=(Ref other) noexcept { std::swap(object_, other.object_); return *this; }

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }
    explicit operator bool() const { return object_ != nullptr; }

    // Gives up ownership without releasing.
    [[nodiscard]] T* leak() { return std::exchange(object_, nullptr); }

    friend bool operator==(const Ref& a, const Ref& b) { return a.object_ == b.object_; }
    friend bool operator==(const Ref& a, std::nullptr_t) { return a.object_ == nullptr; }

private:
    T* object_ = nullptr;
};

// Retains an object that is borrowed: Ref that shares it.
template <class T>
Ref<T> retained(T* object) { return Ref<T>(object); }

// Creates a new object; the Ref owns its first reference.
template <class T, class... Args>
Ref<T> make(Args&&... args) { return Ref<T>::adopt(new T(std::forward<Args>(args)...)); }

template <class T>
struct IsRef : std::false_type {};
template <class T>
struct IsRef<Ref<T>> : std::true_type {};

} // namespace platform
