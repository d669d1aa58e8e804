#include "CoreServices/OSStatusStrings.h"

#include "CoreServices/MacErrors.h"

#include <algorithm>
#include <iterator>

namespace {

struct StatusText {
    OSStatus status;
    const char* name;
    const char* comment;
};

constexpr StatusText kStatusTexts[] = {
    {noErr, "noErr", "No error."},
    {paramErr, "paramErr", "A parameter was missing or invalid."},
    {gestaltUnknownErr, "gestaltUnknownErr", "The system does not know the answer to the query."},
    {gestaltUndefSelectorErr, "gestaltUndefSelectorErr", "The query's selector is not defined."},
    {errAuthorizationInvalidSet, "errAuthorizationInvalidSet", "The set of authorization rights is invalid."},
    {errAuthorizationInvalidRef, "errAuthorizationInvalidRef", "The authorization reference is invalid."},
    {errAuthorizationInvalidTag, "errAuthorizationInvalidTag", "The authorization tag is invalid."},
    {errAuthorizationInvalidPointer, "errAuthorizationInvalidPointer",
     "The pointer for the returned rights is invalid."},
    {errAuthorizationDenied, "errAuthorizationDenied", "The authorization was denied."},
    {errAuthorizationCanceled, "errAuthorizationCanceled", "The user canceled the authorization."},
    {errAuthorizationInteractionNotAllowed, "errAuthorizationInteractionNotAllowed",
     "The authorization needs the user, and user interaction is not allowed."},
    {errAuthorizationInternal, "errAuthorizationInternal", "The authorization failed inside the authority."},
    {errAuthorizationExternalizeNotAllowed, "errAuthorizationExternalizeNotAllowed",
     "The authorization may not be turned into an external form."},
    {errAuthorizationInternalizeNotAllowed, "errAuthorizationInternalizeNotAllowed",
     "The authorization may not be made from an external form."},
    {errAuthorizationInvalidFlags, "errAuthorizationInvalidFlags", "The option flags are invalid for this operation."},
    {errAuthorizationToolExecuteFailure, "errAuthorizationToolExecuteFailure",
     "The privileged tool could not be started."},
    {errAuthorizationToolEnvironmentError, "errAuthorizationToolEnvironmentError",
     "The privileged tool reported an invalid status while starting."},
    {errAuthorizationBadAddress, "errAuthorizationBadAddress", "The requested socket address is invalid."},
};

const StatusText* find(OSStatus status) {
    const auto* found = std::find_if(std::begin(kStatusTexts), std::end(kStatusTexts),
                                     [status](const StatusText& entry) { return entry.status == status; });
    return found == std::end(kStatusTexts) ? nullptr : found;
}

} // namespace

extern "C" const char* GetMacOSStatusErrorString(OSStatus status) {
    const StatusText* entry = find(status);
    return entry ? entry->name : "unknown";
}

extern "C" const char* GetMacOSStatusCommentString(OSStatus status) {
    const StatusText* entry = find(status);
    return entry ? entry->comment : "No description is known for this status.";
}
