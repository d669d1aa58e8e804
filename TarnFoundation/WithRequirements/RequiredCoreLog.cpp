#include "WithRequirements/RequiredCoreLog.h"

#include "WithRequirements/RequiredCoreLogTesting.h"
#include "WithRequirements/RequiredPrivate.h"

#include "Foundation/Log.h"
#include "dispatch/dispatch.h"

#include <atomic>
#include <cstdarg>
#include <mutex>
#include <utility>

using platform::Object;
using platform::String;

namespace {

// The log queue. The lock keeps unload from releasing it under a submission.
std::mutex sCFTypeRefOutputQueueLock;
dispatch_queue_t sCFTypeRefOutputQueue = nullptr;
dispatch_once_t sCFTypeRefOutputQueueOnce;

std::atomic<CFLogStringFnPtr> sCFLogStringFn{nullptr};

// Writes submitted and not yet made. The step that makes the last of them
// flushes the batch, so that a burst of lines reaches standard error in a few
// writes and a lone line at once.
std::atomic<long> sPendingWrites{0};
// Used only by the queue's steps, which run one at a time. Never destroyed:
// steps may still run while the process exits. Not thread_local: a
// destructible thread_local in an image opened with dlopen makes
// LeakSanitizer's scan of the threads crash at exit.
platform::LogBatch& sWrittenLines = *new platform::LogBatch;

const String* stringOrNull(CFTypeRef cf) {
    return required::isAbsent(cf) ? nullptr : platform::objectAs<String>(static_cast<const Object*>(cf));
}

// Submits the step with a reference to the object that the step releases:
// the caller's own when `handedOver`, a new one otherwise. Without a queue
// the object is dropped.
void submit(const Object* object, dispatch_function_t step, bool handedOver = false) {
    std::unique_lock lock(sCFTypeRefOutputQueueLock);
    if (sCFTypeRefOutputQueue == nullptr) {
        lock.unlock();
        if (handedOver) object->release();
        return;
    }
    if (!handedOver) object->retain();
    sPendingWrites.fetch_add(1, std::memory_order_relaxed);
    dispatch_async_f(sCFTypeRefOutputQueue, const_cast<Object*>(object), step);
}

// Null for a write that has nothing to show.
void writeOnQueue(const String* text) {
    if (text) sWrittenLines.add(text->text());
    if (sPendingWrites.fetch_sub(1, std::memory_order_acq_rel) == 1) sWrittenLines.flush();
}

void writeLineStep(void* context) {
    const auto* line = static_cast<const String*>(context);
    if (CFLogStringFnPtr hook = sCFLogStringFn.load(std::memory_order_acquire)) {
        try {
            hook(line);
        } catch (...) {
        }
    }
    writeOnQueue(line);
    line->release();
}

void writeDescriptionStep(void* context) {
    const auto* object = static_cast<const Object*>(context);
    platform::Ref<String> description;
    try {
        description = String::stringWithFormat("%@", object);
    } catch (...) {
    }
    writeOnQueue(description.get());
    object->release();
}

// The line made here is immutable and owned by nobody else, so the queue
// takes it over rather than a reference of its own.
void logWithFormat(CFStringRef format, va_list arguments) {
    if (stringOrNull(format) == nullptr) return;
    CFStringRef line = CFStringCreateWithFormatAndArguments(kCFAllocatorDefault, nullptr, format, arguments);
    if (line != nullptr) submit(line, writeLineStep, true);
}

__attribute__((constructor(REQUIRED_LOAD_STEP_LOG_QUEUE))) void RequiredCoreLogTypeRefConstructor() {
    dispatch_once(&sCFTypeRefOutputQueueOnce, [] {
        std::lock_guard lock(sCFTypeRefOutputQueueLock);
        sCFTypeRefOutputQueue = dispatch_queue_create("sCFTypeRefOutputQueue", DISPATCH_QUEUE_SERIAL);
    });
}

// Pending lines still run on the queue; they are not waited for.
__attribute__((destructor)) void RequiredCoreLogTypeRefDestructor() {
    dispatch_queue_t queue;
    {
        std::lock_guard lock(sCFTypeRefOutputQueueLock);
        queue = std::exchange(sCFTypeRefOutputQueue, nullptr);
    }
    dispatch_release(queue);
}

} // namespace

void RequiredCoreLogUnloadForTesting() { RequiredCoreLogTypeRefDestructor(); }

platform::Ref<String> required::format(CFStringRef format, ...) {
    va_list arguments;
    va_start(arguments, format);
    CFStringRef text = CFStringCreateWithFormatAndArguments(kCFAllocatorDefault, nullptr, format, arguments);
    va_end(arguments);
    return platform::Ref<String>::adopt(const_cast<String*>(text));
}

extern "C" {

void __CFLogStringRefOnQueue(CFStringRef line) {
    // A mutable line is queued as it reads now; an immutable one is shared.
    if (const String* text = stringOrNull(line)) submit(text->copy().get(), writeLineStep);
}

void __CFLogPrintf(CFStringRef format, ...) {
    va_list arguments;
    va_start(arguments, format);
    logWithFormat(format, arguments);
    va_end(arguments);
}

void __CFNSLog(CFStringRef format, ...) {
    va_list arguments;
    va_start(arguments, format);
    logWithFormat(format, arguments);
    va_end(arguments);
}

void __CFRequiredPrintf(const char* format, ...) {
    if (required::isAbsent(format)) return;
    CFStringRef converted = CFStringCreateWithCString(kCFAllocatorDefault, format, kCFStringEncodingUTF8);
    if (converted == nullptr) return;
    va_list arguments;
    va_start(arguments, format);
    logWithFormat(converted, arguments);
    va_end(arguments);
    CFRelease(converted);
}

void __CFRequiredLogPrintf(const char* prefix, const char* format, ...) {
    if (required::isAbsent(prefix) || required::isAbsent(format)) return;
    CFStringRef joined = CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, CFSTR("%s %s"), prefix, format);
    if (joined == nullptr) return;
    va_list arguments;
    va_start(arguments, format);
    logWithFormat(joined, arguments);
    va_end(arguments);
    CFRelease(joined);
}

void __CFRequiredLogString(const char* first, const char* second) {
    if (required::isAbsent(first) || required::isAbsent(second)) return;
    CFStringRef line = CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, CFSTR("%s:%s"), first, second);
    __CFLogStringRefOnQueue(line);
    CFRelease(line);
}

void __CFLogError(const RequiredSourceLocation* location, CFStringRef format, ...) {
    if (stringOrNull(format) == nullptr) return;
    va_list arguments;
    va_start(arguments, format);
    CFStringRef message = CFStringCreateWithFormatAndArguments(kCFAllocatorDefault, nullptr, format, arguments);
    va_end(arguments);
    if (message == nullptr) return;

    const auto text = [](const char* slot) { return slot ? slot : ""; };
    CFStringRef line =
        location ? CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, CFSTR("%@ - %s in %s:%d (%s)"), message,
                                            text(location->expression), text(location->function),
                                            static_cast<int>(location->line), text(location->file))
                 : CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, CFSTR("%@ - %s in %s:%s (%s)"), message,
                                            "", "", "", "");
    __CFLogStringRefOnQueue(line);
    CFRelease(line);
    CFRelease(message);
}

void __CFLogShowTypeRef(CFTypeRef object) {
    if (required::isAbsent(object) || CFGetRetainCount(object) <= 0) return;
    submit(static_cast<const Object*>(object), writeDescriptionStep);
}

void __CFLogSetLogStringFnPtr(CFLogStringFnPtr hook) { sCFLogStringFn.store(hook, std::memory_order_release); }

} // extern "C"
