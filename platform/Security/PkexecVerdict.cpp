#include "Security/PkexecVerdict.h"

#include "CoreServices/MacErrors.h"

namespace platform {
namespace {

// pkexec's exit status when the user dismissed the authentication dialog.
constexpr int kPkexecDismissed = 126;

// pkexec's own words (it does not translate them).
constexpr std::string_view kNoAuthority = "Error getting authority";
constexpr std::string_view kNotSetUid = "must be setuid root";
constexpr std::string_view kNoTextAgent = "Error creating textual authentication agent";
constexpr std::string_view kNoAgent = "No authentication agent found";

} // namespace

OSStatus statusOfRefusedPkexec(int exitStatus, std::string_view said) {
    if (exitStatus == kPkexecDismissed) return errAuthorizationCanceled;
    if (said.find(kNoAuthority) != std::string_view::npos || said.find(kNotSetUid) != std::string_view::npos) {
        return errAuthorizationInternal;
    }
    if (said.find(kNoTextAgent) != std::string_view::npos || said.find(kNoAgent) != std::string_view::npos) {
        return errAuthorizationInteractionNotAllowed;
    }
    return errAuthorizationDenied;
}

} // namespace platform
