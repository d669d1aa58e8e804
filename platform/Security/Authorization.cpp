#include "Security/Authorization.h"

#include <cstring>
#include <mutex>
#include <new>

namespace {

std::mutex factoryMutex;
std::function<std::unique_ptr<platform::Authority>()> authorityFactory;

std::unique_ptr<platform::Authority> makeAuthority() {
    std::lock_guard lock(factoryMutex);
    return authorityFactory ? authorityFactory() : platform::makeSystemAuthority();
}

bool isKnownRight(const AuthorizationItem& item) {
    return item.name != nullptr && std::strcmp(item.name, kAuthorizationRightExecute) == 0;
}

} // namespace

struct AuthorizationOpaqueRef {
    std::unique_ptr<platform::Authority> authority;
    bool administratorRightGranted = false;
};

OSStatus AuthorizationCreate(const AuthorizationRights* rights, const AuthorizationEnvironment*,
                             AuthorizationFlags flags, AuthorizationRef* authorization) {
    if (authorization == nullptr) return errAuthorizationInvalidPointer;
    *authorization = nullptr;
    auto created = new (std::nothrow) AuthorizationOpaqueRef{makeAuthority()};
    if (created == nullptr || !created->authority) {
        delete created;
        return errAuthorizationInternal;
    }
    if (rights != nullptr && rights->count > 0) {
        const OSStatus status = AuthorizationCopyRights(created, rights, nullptr, flags, nullptr);
        if (status != errAuthorizationSuccess) {
            delete created;
            return status;
        }
    }
    *authorization = created;
    return errAuthorizationSuccess;
}

OSStatus AuthorizationCopyRights(AuthorizationRef authorization, const AuthorizationRights* rights,
                                 const AuthorizationEnvironment*, AuthorizationFlags flags,
                                 AuthorizationRights** authorizedRights) {
    if (authorization == nullptr) return errAuthorizationInvalidRef;
    if (rights == nullptr || (rights->count > 0 && rights->items == nullptr)) return errAuthorizationInvalidSet;
    if (authorizedRights != nullptr) *authorizedRights = nullptr;
    for (std::uint32_t i = 0; i < rights->count; ++i) {
        if (!isKnownRight(rights->items[i])) return errAuthorizationDenied;
    }
    if (rights->count == 0 || authorization->administratorRightGranted) return errAuthorizationSuccess;
    if (!(flags & kAuthorizationFlagExtendRights)) return errAuthorizationDenied;
    const OSStatus status =
        authorization->authority->obtainAdministratorRight(flags & kAuthorizationFlagInteractionAllowed);
    if (status == errAuthorizationSuccess) authorization->administratorRightGranted = true;
    return status;
}

OSStatus AuthorizationExecuteWithPrivileges(AuthorizationRef authorization, const char* pathToTool,
                                            AuthorizationFlags, char* const* arguments,
                                            FILE** communicationsPipe) {
    if (communicationsPipe != nullptr) *communicationsPipe = nullptr;
    if (authorization == nullptr) return errAuthorizationInvalidRef;
    if (pathToTool == nullptr || pathToTool[0] != '/') return errAuthorizationInvalidPointer;
    if (!authorization->administratorRightGranted) {
        const OSStatus status = authorization->authority->obtainAdministratorRight(true);
        if (status != errAuthorizationSuccess) return status;
        authorization->administratorRightGranted = true;
    }
    std::vector<std::string> list;
    for (char* const* argument = arguments; argument != nullptr && *argument != nullptr; ++argument) {
        list.emplace_back(*argument);
    }
    return authorization->authority->startPrivileged(pathToTool, list);
}

OSStatus AuthorizationFree(AuthorizationRef authorization, AuthorizationFlags) {
    if (authorization == nullptr) return errAuthorizationInvalidRef;
    delete authorization;
    return errAuthorizationSuccess;
}

namespace platform {

AuthorityOverride::AuthorityOverride(std::function<std::unique_ptr<Authority>()> factory) {
    std::lock_guard lock(factoryMutex);
    previous_ = std::move(authorityFactory);
    authorityFactory = std::move(factory);
}

AuthorityOverride::~AuthorityOverride() {
    std::lock_guard lock(factoryMutex);
    authorityFactory = std::move(previous_);
}

} // namespace platform
