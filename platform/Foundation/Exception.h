#pragma once

#include "objc/Object.h"

#include <exception>
#include <string>

namespace platform {

class Dictionary;
class String;

// Exception names.
extern String* const NSGenericException;
extern String* const NSInvalidArgumentException;
extern String* const NSInternalInconsistencyException;
extern String* const NSRangeException;
extern String* const NSUndefinedKeyException;

// The exception object: a name, a reason and optional details.
class Exception final : public Object {
public:
    PLATFORM_CLASS_RECORD  // "NSException"

    Exception(Ref<String> name, Ref<String> reason, Ref<Dictionary> userInfo = nullptr);

    String* name() const { return name_.get(); }
    String* reason() const { return reason_.get(); }
    Dictionary* userInfo() const { return userInfo_.get(); }

    // The reason, as the platform describes an exception.
    Ref<String> description() const override;

    // Throws this exception as a RaisedException.
    [[noreturn]] void raise();
    [[noreturn]] static void raise(String* name, Ref<String> reason);

private:
    Ref<String> name_;
    Ref<String> reason_;
    Ref<Dictionary> userInfo_;
};

// What C++ code throws and catches for a raised exception.
class RaisedException : public std::exception {
public:
    explicit RaisedException(Ref<Exception> exception);

    Exception* exception() const { return exception_.get(); }
    String* name() const { return exception_->name(); }
    String* reason() const { return exception_->reason(); }
    Ref<String> description() const { return exception_->description(); }
    // "name: reason"
    const char* what() const noexcept override { return what_.c_str(); }

private:
    Ref<Exception> exception_;
    std::string what_;
};

} // namespace platform
