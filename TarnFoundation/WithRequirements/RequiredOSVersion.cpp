#include "WithRequirements/RequiredOSVersion.h"

#include "WithRequirements/RequiredChecks.h"

#include "CoreServices/Gestalt.h"

#include <cstdint>

namespace {

// major * 100 + minor * 10 + patch in 32 bits, from the low 32 bits of each.
int32_t integerForm(const TarnOperatingSystemVersion& version) {
    const auto low = [](int64_t field) { return static_cast<uint32_t>(field); };
    return static_cast<int32_t>(low(version.major) * 100u + low(version.minor) * 10u + low(version.patch));
}

void store(TarnOperatingSystemVersion* out, const TarnOperatingSystemVersion& version) {
    if (out) *out = version;
}

} // namespace

extern "C" {

const int32_t TarnOperatingSystemVersion_MacOS_10_8 = 1080;
const int32_t TarnOperatingSystemVersion_MacOS_10_15 = 1150;

int32_t TarnOperatingSystemVersion_GetCoreFoundation(TarnOperatingSystemVersion* out) {
    SInt32 osVersionMajor = 0;
    SInt32 osVersionMinor = 0;
    SInt32 osVersionPatch = 0;
    if (!REQUIRE_OSSTATUS(Gestalt(gestaltSystemVersionMajor, &osVersionMajor)) ||
        !REQUIRE_OSSTATUS(Gestalt(gestaltSystemVersionMinor, &osVersionMinor)) ||
        !REQUIRE_OSSTATUS(Gestalt(gestaltSystemVersionBugFix, &osVersionPatch))) {
        store(out, {0, 0, 0});
        return 0;
    }
    store(out, {osVersionMajor, osVersionMinor, osVersionPatch});
    return -1;
}

// The process information of this platform offers no version record; the
// system query is its only source.
int32_t TarnOperatingSystemVersion_GetFoundation(TarnOperatingSystemVersion* out) {
    return TarnOperatingSystemVersion_GetCoreFoundation(out);
}

TarnOperatingSystemVersion TarnOperatingSystemVersion_GetCurrentStruct(void) {
    TarnOperatingSystemVersion version{0, 0, 0};
    TarnOperatingSystemVersion_GetFoundation(&version);
    return version;
}

int32_t TarnOperatingSystemVersion_GetCurrent(void) {
    return integerForm(TarnOperatingSystemVersion_GetCurrentStruct());
}

} // extern "C"
