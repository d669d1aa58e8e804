#include "HelperTool.h"

#include "Foundation/Log.h"
#include "Security/Authorization.h"

namespace {

// Frees the authorization when the elevation is over, whichever way it ends.
struct AuthorizationOwner {
    AuthorizationRef reference = nullptr;
    ~AuthorizationOwner() {
        if (reference != nullptr) AuthorizationFree(reference, kAuthorizationFlagDefaults);
    }
};

} // namespace

int performSelfRepair(const HelperIdentity& identity, const char* const argv[]) {
    AuthorizationOwner owner;
    OSStatus status = AuthorizationCreate(nullptr, nullptr, kAuthorizationFlagDefaults, &owner.reference);
    if (status != errAuthorizationSuccess) return status;
    const AuthorizationRef authorization = owner.reference;

    AuthorizationItem right = {kAuthorizationRightExecute, 0, nullptr, 0};
    AuthorizationRights rights = {1, &right};
    const AuthorizationFlags flags =
        kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights | kAuthorizationFlagPreAuthorize;
    status = AuthorizationCopyRights(authorization, &rights, nullptr, flags, nullptr);
    if (status != errAuthorizationSuccess) return status;

    // The privileged run sees: tool path, tool path, "--self-repair",
    // command word, location name, source path.
    char selfRepair[] = "--self-repair";
    char* const arguments[] = {const_cast<char*>(argv[1]), selfRepair, const_cast<char*>(argv[2]),
                               const_cast<char*>(argv[3]), const_cast<char*>(argv[4]), nullptr};
    FILE* channel = nullptr;
    AuthorizationExecuteWithPrivileges(authorization, argv[1], kAuthorizationFlagDefaults, arguments, &channel);
    platform::NSLogEscaped("%s called AEWP", identity.name);
    return 0;
}
