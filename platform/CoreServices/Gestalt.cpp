#include "CoreServices/Gestalt.h"

#include "CoreServices/MacErrors.h"

#include <sys/utsname.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace {

std::mutex releaseOverrideMutex;
std::optional<std::string> releaseOverride;

std::optional<std::string> systemRelease() {
    {
        std::lock_guard lock(releaseOverrideMutex);
        if (releaseOverride) return releaseOverride;
    }
    utsname names{};
    if (uname(&names) != 0) return std::nullopt;
    return std::string(names.release);
}

// Number `index` (0 major, 1 minor, 2 patch) of a release such as
// "6.1.0-18-amd64": the numbers are the leading digits, separated by dots.
bool releaseNumber(const std::string& release, int index, SInt32* value) {
    std::size_t position = 0;
    for (int current = 0;; ++current) {
        std::int64_t number = 0;
        const std::size_t start = position;
        while (position < release.size() && release[position] >= '0' && release[position] <= '9') {
            number = number * 10 + (release[position] - '0');
            if (number > INT32_MAX) return false;
            ++position;
        }
        if (position == start) return false;
        if (current == index) {
            *value = static_cast<SInt32>(number);
            return true;
        }
        if (position >= release.size() || release[position] != '.') return false;
        ++position;
    }
}

} // namespace

extern "C" OSErr Gestalt(OSType selector, SInt32* response) {
    int index;
    switch (selector) {
    case gestaltSystemVersionMajor: index = 0; break;
    case gestaltSystemVersionMinor: index = 1; break;
    case gestaltSystemVersionBugFix: index = 2; break;
    default: return gestaltUndefSelectorErr;
    }
    if (response == nullptr) return paramErr;
    const std::optional<std::string> release = systemRelease();
    SInt32 value = 0;
    if (!release || !releaseNumber(*release, index, &value)) return gestaltUnknownErr;
    *response = value;
    return noErr;
}

void platform::setSystemReleaseForTesting(const char* release) {
    std::lock_guard lock(releaseOverrideMutex);
    if (release) releaseOverride = release;
    else releaseOverride.reset();
}
