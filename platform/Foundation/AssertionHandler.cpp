#include "Foundation/AssertionHandler.h"

#include "Foundation/Exception.h"
#include "Foundation/Log.h"
#include "Foundation/String.h"

#include <mutex>
#include <string>

namespace platform {
namespace {

std::mutex handlerMutex;

AssertionHandler* defaultHandler() {
    static AssertionHandler* const handler = new AssertionHandler;
    return handler;
}

Ref<AssertionHandler>& handlerInPlace() {
    static Ref<AssertionHandler>* const handler = new Ref<AssertionHandler>(defaultHandler());
    return *handler;
}

} // namespace

const Class AssertionHandler::classRecord{"NSAssertionHandler", &Object::classRecord,
                                          Class::factoryOf<AssertionHandler>()};

Ref<AssertionHandler> AssertionHandler::currentHandler() {
    std::lock_guard lock(handlerMutex);
    return handlerInPlace();
}

Ref<AssertionHandler> AssertionHandler::setCurrentHandler(Ref<AssertionHandler> handler) {
    std::lock_guard lock(handlerMutex);
    Ref<AssertionHandler> previous = handlerInPlace();
    handlerInPlace() = handler ? std::move(handler) : Ref<AssertionHandler>(defaultHandler());
    return previous;
}

void AssertionHandler::handleFailureInMethod_object_file_lineNumber_description(std::string_view method,
                                                                                AssertionReceiver object,
                                                                                const String* file, long line,
                                                                                const String* description) {
    const Class* cls = object.receiverClass();
    std::string text = "*** Assertion failure in ";
    text += object.isClass() ? '+' : '-';
    text += '[';
    text += cls ? cls->name() : std::string("(nil)");
    text += ' ';
    text += method;
    text += "], ";
    text += file ? file->text() : std::string("(null)");
    text += ':';
    text += std::to_string(line);
    NSLogText(text, LogPriority::Error);
    Exception::raise(NSInternalInconsistencyException, description ? description->copy() : make<String>());
}

} // namespace platform
