// Prints the bundles it belongs to, for tests that run it from inside an
// application bundle.

#include "Foundation/Bundle.h"
#include "Foundation/String.h"
#include "objc/Object.h"

#include <cstdio>

using namespace platform;

namespace {

class ProbeOwnClass : public Object {
public:
    PLATFORM_CLASS_RECORD
};

const Class ProbeOwnClass::classRecord{"BundleProbeOwnClass", &Object::classRecord};

const char* pathOf(const Bundle* bundle) { return bundle ? bundle->bundlePath()->UTF8String() : "(none)"; }

} // namespace

int main() {
    Bundle* main = Bundle::mainBundle();
    Ref<Bundle> own = Bundle::bundleForClass(ProbeOwnClass::classRecord);
    const String* identifier = main ? main->bundleIdentifier() : nullptr;
    std::printf("main=%s\nown=%s\nsame=%s\nidentifier=%s\n", pathOf(main), pathOf(own.get()),
                own.get() == main ? "yes" : "no", identifier ? identifier->UTF8String() : "(none)");
    return 0;
}
