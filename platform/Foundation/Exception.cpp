#include "Foundation/Exception.h"

#include "Foundation/Dictionary.h"
#include "Foundation/String.h"

namespace platform {

String* const NSGenericException = String::constant("NSGenericException");
String* const NSInvalidArgumentException = String::constant("NSInvalidArgumentException");
String* const NSInternalInconsistencyException = String::constant("NSInternalInconsistencyException");
String* const NSRangeException = String::constant("NSRangeException");
String* const NSUndefinedKeyException = String::constant("NSUnknownKeyException");

const Class Exception::classRecord{"NSException", &Object::classRecord};

Exception::Exception(Ref<String> name, Ref<String> reason, Ref<Dictionary> userInfo)
    : name_(std::move(name)), reason_(std::move(reason)), userInfo_(std::move(userInfo)) {}

Ref<String> Exception::description() const { return reason_ ? reason_ : make<String>(); }

void Exception::raise() { throw RaisedException(Ref<Exception>(this)); }

void Exception::raise(String* name, Ref<String> reason) {
    make<Exception>(Ref<String>(name), std::move(reason))->raise();
}

RaisedException::RaisedException(Ref<Exception> exception) : exception_(std::move(exception)) {
    what_ = exception_->name() ? exception_->name()->text() : std::string("(null)");
    what_ += ": ";
    what_ += exception_->reason() ? exception_->reason()->text() : std::string("(null)");
}

} // namespace platform
