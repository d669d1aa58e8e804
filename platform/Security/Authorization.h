#pragma once

// Authorization: obtaining the right to run a program as the superuser and
// starting it with that right. Backed by polkit (pkexec); a caller that is
// already the superuser is granted at once.

#include "CoreServices/MacErrors.h"
#include "CoreServices/MacTypes.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using AuthorizationFlags = std::uint32_t;

enum : AuthorizationFlags {
    kAuthorizationFlagDefaults = 0,
    kAuthorizationFlagInteractionAllowed = 1 << 0,
    kAuthorizationFlagExtendRights = 1 << 1,
    kAuthorizationFlagPartialRights = 1 << 2,
    kAuthorizationFlagDestroyRights = 1 << 3,
    kAuthorizationFlagPreAuthorize = 1 << 4,
};

// The right to run a program with administrator rights.
#define kAuthorizationRightExecute "system.privilege.admin"

struct AuthorizationItem {
    const char* name;
    std::size_t valueLength;
    void* value;
    std::uint32_t flags;
};

struct AuthorizationItemSet {
    std::uint32_t count;
    AuthorizationItem* items;
};
using AuthorizationRights = AuthorizationItemSet;
using AuthorizationEnvironment = AuthorizationItemSet;

using AuthorizationRef = struct AuthorizationOpaqueRef*;

OSStatus AuthorizationCreate(const AuthorizationRights* rights, const AuthorizationEnvironment* environment,
                             AuthorizationFlags flags, AuthorizationRef* authorization);

// Obtains the rights; this is where the user may be asked for an
// administrator's password. Returns once the user has answered.
OSStatus AuthorizationCopyRights(AuthorizationRef authorization, const AuthorizationRights* rights,
                                 const AuthorizationEnvironment* environment, AuthorizationFlags flags,
                                 AuthorizationRights** authorizedRights);

// Starts `pathToTool` as the superuser with argv[0] = pathToTool followed by
// the null-terminated `arguments`, and returns without waiting for it. The
// program's standard input and output are /dev/null; its standard error is
// the caller's. No channel is offered: *communicationsPipe is set to null.
OSStatus AuthorizationExecuteWithPrivileges(AuthorizationRef authorization, const char* pathToTool,
                                            AuthorizationFlags options, char* const* arguments,
                                            FILE** communicationsPipe);

OSStatus AuthorizationFree(AuthorizationRef authorization, AuthorizationFlags flags);

namespace platform {

// What grants administrator rights and starts programs with them.
class Authority {
public:
    virtual ~Authority() = default;
    // May ask the user; returns errAuthorizationSuccess once granted.
    virtual OSStatus obtainAdministratorRight(bool interactionAllowed) = 0;
    // Starts a program as the superuser without waiting for it; only after
    // the right was obtained.
    virtual OSStatus startPrivileged(const std::string& path, const std::vector<std::string>& arguments) = 0;
};

// The authority of this system: polkit, or none needed for the superuser.
std::unique_ptr<Authority> makeSystemAuthority();

// For tests: while it lives, new authorizations use authorities made by
// `factory` instead of the system's.
class AuthorityOverride {
public:
    explicit AuthorityOverride(std::function<std::unique_ptr<Authority>()> factory);
    ~AuthorityOverride();
    AuthorityOverride(const AuthorityOverride&) = delete;
    AuthorityOverride& operator=(const AuthorityOverride&) = delete;

private:
    std::function<std::unique_ptr<Authority>()> previous_;
};

} // namespace platform
