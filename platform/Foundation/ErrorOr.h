#pragma once

// One error type below the interfaces of the installer's parts: a result or
// why there is none, returned by value and passed on with TRY.

#include <cerrno>
#include <concepts>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

namespace platform {

// Why something failed: a system call, with the errno it left, or a refusal
// in words. Either may say what it was about (a path, say).
class Failure {
public:
    static Failure ofCall(const char* call, int code = errno) { return Failure(call, code, {}); }
    static Failure refusal(std::string reason) { return Failure(nullptr, 0, std::move(reason)); }

    // The call that failed and its errno; null and 0 for a refusal.
    const char* call() const { return call_; }
    int code() const { return code_; }

    // The same failure, its words followed by ": " and `subject`.
    Failure about(std::string_view subject) &&;

    // "call: reason", then what it was about; or the refusal's words.
    std::string describe() const;

private:
    Failure(const char* call, int code, std::string text) : call_(call), code_(code), text_(std::move(text)) {}

    const char* call_;
    int code_;
    std::string text_;  // a refusal's words, or ": subject" after a call
};

template <class T>
class [[nodiscard]] ErrorOr {
public:
    template <class U = T>
        requires std::constructible_from<T, U&&> && (!std::same_as<std::remove_cvref_t<U>, Failure>) &&
                 (!std::same_as<std::remove_cvref_t<U>, ErrorOr>)
    ErrorOr(U&& value) : held_(std::in_place_index<0>, std::forward<U>(value)) {}
    ErrorOr(Failure failure) : held_(std::in_place_index<1>, std::move(failure)) {}

    bool isError() const { return held_.index() == 1; }
    const Failure& error() const { return std::get<1>(held_); }
    T& value() { return std::get<0>(held_); }
    const T& value() const { return std::get<0>(held_); }
    T releaseValue() { return std::move(std::get<0>(held_)); }
    Failure releaseError() { return std::move(std::get<1>(held_)); }

    // The same result; a failure says what it was about.
    ErrorOr about(std::string_view subject) && {
        if (isError()) return releaseError().about(subject);
        return std::move(*this);
    }

private:
    std::variant<T, Failure> held_;
};

template <>
class [[nodiscard]] ErrorOr<void> {
public:
    ErrorOr() = default;
    ErrorOr(Failure failure) : failure_(std::move(failure)) {}

    bool isError() const { return failure_.has_value(); }
    const Failure& error() const { return *failure_; }
    void releaseValue() {}
    Failure releaseError() { return std::move(*failure_); }

    // The same result; a failure says what it was about.
    ErrorOr about(std::string_view subject) && {
        if (isError()) return releaseError().about(subject);
        return {};
    }

private:
    std::optional<Failure> failure_;
};

} // namespace platform

// The value of `expression`, an ErrorOr; when it holds a failure, the
// function returns that failure instead.
#define TRY(expression)                                              \
    ({                                                               \
        auto&& tried_ = (expression);                                \
        if (tried_.isError()) return tried_.releaseError();          \
        tried_.releaseValue();                                       \
    })
