#include "HelperTool.h"

#include "Foundation/Log.h"
#include "Security/Authorization.h"

int performSelfRepair(const HelperIdentity& identity, const char* const argv[]) {
    AuthorizationRef authorization = nullptr;
    OSStatus status = AuthorizationCreate(nullptr, nullptr, kAuthorizationFlagDefaults, &authorization);
    if (status != errAuthorizationSuccess) return status;

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
    platform::NSLog("%s called AEWP", identity.name);
    return 0;
}
