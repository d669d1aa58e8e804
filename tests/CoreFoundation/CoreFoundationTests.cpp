#include "CoreFoundation/CoreFoundation.h"

#include "Foundation/Array.h"
#include "Foundation/Dictionary.h"
#include "Foundation/Error.h"
#include "Foundation/Exception.h"
#include "Foundation/Null.h"
#include "Foundation/Number.h"
#include "Foundation/String.h"

#include <gtest/gtest.h>

#include <set>

using namespace platform;

namespace {

std::string text(CFStringRef string) { return string ? string->text() : "<none>"; }

// Takes over a created string.
std::string created(CFStringRef string) {
    std::string result = text(string);
    CFRelease(string);
    return result;
}

class Unprintable : public Object {
public:
    Ref<String> description() const override {
        Exception::raise(NSInternalInconsistencyException, make<String>("unprintable"));
    }
};

} // namespace

TEST(CFObjects, AreTheRuntimesObjects) {
    CFStringRef string = CFStringCreateWithCString(kCFAllocatorDefault, "Cam.plugin", kCFStringEncodingUTF8);
    ASSERT_NE(string, nullptr);
    EXPECT_TRUE(string->isKindOfClass(String::classRecord));
    EXPECT_EQ(CFGetRetainCount(string), 1);
    EXPECT_EQ(CFRetain(string), string);
    EXPECT_EQ(CFGetRetainCount(string), 2);
    CFRelease(string);
    EXPECT_EQ(created(string), "Cam.plugin");

    EXPECT_EQ(kCFNull, Null::null());
    EXPECT_EQ(CFRetain(nullptr), nullptr);
    CFRelease(nullptr);
    EXPECT_EQ(CFGetRetainCount(nullptr), 0);
}

TEST(CFTypeIDs, AreFixedPerClassAndZeroForOthers) {
    const auto mutableString = make<MutableString>("x");
    EXPECT_EQ(CFGetTypeID(make<String>("x").get()), CFStringGetTypeID());
    EXPECT_EQ(CFGetTypeID(mutableString.get()), CFStringGetTypeID());
    EXPECT_EQ(CFGetTypeID(kCFNull), CFNullGetTypeID());
    EXPECT_EQ(CFGetTypeID(Object::classRecord.createInstance().get()), 0u);
    EXPECT_EQ(CFGetTypeID(nullptr), 0u);

    const CFTypeID ids[] = {CFStringGetTypeID(), CFNullGetTypeID(), CFGetTypeID(Number::numberWithInteger(1).get()),
                            CFGetTypeID(make<Array>().get()), CFGetTypeID(make<Dictionary>().get()),
                            CFGetTypeID(make<Error>(make<String>("d"), 1).get())};
    EXPECT_EQ(std::set<CFTypeID>(std::begin(ids), std::end(ids)).size(), std::size(ids));
    for (CFTypeID id : ids) EXPECT_NE(id, 0u);

    EXPECT_EQ(created(CFCopyTypeIDDescription(CFStringGetTypeID())), "CFString");
    EXPECT_EQ(created(CFCopyTypeIDDescription(CFNullGetTypeID())), "CFNull");
    EXPECT_EQ(CFCopyTypeIDDescription(0), nullptr);
    EXPECT_EQ(CFCopyTypeIDDescription(999), nullptr);
}

TEST(CFStrings, FormatWithPrintfConversionsAndObjects) {
    EXPECT_EQ(created(CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, CFSTR("%@ %s=%ld 0x%08lx %@"),
                                               CFSTR("Cam"), "status", -50L, 0xABCUL, nullptr)),
              "Cam status=-50 0x00000abc (null)");
    const auto notAString = Number::numberWithInteger(1);
    const auto unprintable = make<Unprintable>();
    EXPECT_EQ(CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, nullptr), nullptr);
    EXPECT_EQ(CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, reinterpret_cast<CFStringRef>(kCFNull)), nullptr);
    EXPECT_EQ(CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, reinterpret_cast<CFStringRef>(notAString.get())),
              nullptr);
    EXPECT_EQ(CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, CFSTR("%y")), nullptr);
    EXPECT_EQ(CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, CFSTR("%@"), unprintable.get()), nullptr);
}

TEST(CFStrings, AreMadeFromUTF8Only) {
    EXPECT_EQ(created(CFStringCreateWithCString(kCFAllocatorDefault, "Gr\xC3\xBC\xC3\x9F" "e", kCFStringEncodingUTF8)),
              "Gr\xC3\xBC\xC3\x9F" "e");
    EXPECT_EQ(CFStringCreateWithCString(kCFAllocatorDefault, "bad \xC3\x28", kCFStringEncodingUTF8), nullptr);
    EXPECT_EQ(CFStringCreateWithCString(kCFAllocatorDefault, "latin", 0x0201), nullptr);
    EXPECT_EQ(CFStringCreateWithCString(kCFAllocatorDefault, nullptr, kCFStringEncodingUTF8), nullptr);
    EXPECT_STREQ(CFStringGetCStringPtr(CFSTR("text"), kCFStringEncodingUTF8), "text");
    EXPECT_EQ(CFStringGetCStringPtr(nullptr, kCFStringEncodingUTF8), nullptr);
}

TEST(CFStrings, ConstantsAreSharedAndImmortal) {
    CFStringRef first = CFSTR("shared text");
    CFStringRef second = CFSTR("shared text");
    EXPECT_EQ(first, second);
    EXPECT_EQ(__CFStringMakeConstantString("shared text"), first);
    CFRelease(first);
    EXPECT_EQ(text(first), "shared text");
    EXPECT_TRUE(first->isImmortal());
}
