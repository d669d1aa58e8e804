#include "LogCapture.h"

#include "WithRequirements/WithRequirements.h"

#include "Foundation/Null.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>

namespace {

const char* const kPublicNames[] = {
    "__CFLogStringRefOnQueue", "__CFLogPrintf", "__CFNSLog", "__CFRequiredPrintf", "__CFRequiredLogPrintf",
    "__CFRequiredLogString", "__CFLogError", "__CFLogShowTypeRef", "__CFLogSetLogStringFnPtr",
    "__CFConstStaticJustFileNameASCII", "__CFConstStaticJustFileNameUTF8", "kPathSlashCharacter",
    "__CFRequiredBody", "__CFRequiredTypeOfBody", "__CFRequiredNotCFNullBody", "__OSStatusRequiredBody",
    "__NSRequiredNSErrorNilBody", "__NSRequiredNoExceptionBody", "__NSRequiredDelegateSelectorBody",
    "__NSRequiredNotNilBody", "__NSRequiredKindOfClassBody", "__NSRequiredValidIdBody", "__BlockPtrRequiredBody",
    "__DispatchRequiredBody", "__POSIXNoErrorRequiredBody", "NSRequiredNotNSNullCachedValue",
    "__NSIsRunningOnMainThread", "__NSIsRunningOnMainQueue", "__import_objc_RequiredObjectiveC",
    "TarnOperatingSystemVersion_GetCurrent", "TarnOperatingSystemVersion_GetCurrentStruct",
    "TarnOperatingSystemVersion_GetFoundation", "TarnOperatingSystemVersion_GetCoreFoundation",
    "TarnOperatingSystemVersion_MacOS_10_8", "TarnOperatingSystemVersion_MacOS_10_15",
    "__CFTypeRefPropertySafeRetainAndAutorelease",
};

// The private parts that have names outside their own file.
const char* const kPrivateNames[] = {"_Z31RequiredCoreLogUnloadForTestingv",
                                     "_ZN8required6formatEPKN8platform6StringEz"};

std::atomic<int> imageLines{0};

template <class T>
T symbol(void* image, const char* name) {
    return reinterpret_cast<T>(dlsym(image, name));
}

} // namespace

TEST(Exports, ASharedObjectExportsThePublicInterfaceOnly) {
    void* image = dlopen(WITH_REQUIREMENTS_IMAGE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(image, nullptr) << dlerror();
    for (const char* name : kPublicNames) EXPECT_NE(dlsym(image, name), nullptr) << name;
    for (const char* name : kPrivateNames) EXPECT_EQ(dlsym(image, name), nullptr) << name;
    EXPECT_EQ(*symbol<ObjCObjectRef*>(image, "NSRequiredNotNSNullCachedValue"), platform::Null::null());
    EXPECT_EQ(dlclose(image), 0);
}

TEST(Exports, AnExecutableKeepsTheInterfaceInternal) {
    void* self = dlopen(nullptr, RTLD_NOW);
    for (const char* name : kPublicNames) EXPECT_EQ(dlsym(self, name), nullptr) << name;
    dlclose(self);
}

TEST(Exports, EachImageHasItsOwnQueueAndHookAndStaysLoaded) {
    LogCapture capture;
    void* image = dlopen(WITH_REQUIREMENTS_IMAGE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(image, nullptr) << dlerror();
    symbol<void (*)(CFLogStringFnPtr)>(image, "__CFLogSetLogStringFnPtr")([](CFStringRef) { ++imageLines; });
    symbol<void (*)(const char*, ...)>(image, "__CFRequiredPrintf")("in the image");
    EXPECT_EQ(capture.lines(), std::vector<std::string>{});
    for (int wait = 0; wait < 1000 && imageLines == 0; ++wait) usleep(10000);
    EXPECT_EQ(imageLines, 1);
    symbol<void (*)(CFLogStringFnPtr)>(image, "__CFLogSetLogStringFnPtr")(nullptr);
    dlclose(image);
    // Its queue may still run its steps, so the image must not be unmapped.
    EXPECT_NE(dlopen(WITH_REQUIREMENTS_IMAGE, RTLD_NOW | RTLD_NOLOAD), nullptr);
}
