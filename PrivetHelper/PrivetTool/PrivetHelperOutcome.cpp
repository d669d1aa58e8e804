#include "PrivetTool/PrivetHelperOutcome.h"

#include "CoreServices/MacErrors.h"

namespace {

constexpr int lowByte(int status) { return status & 0xff; }

} // namespace

std::string whyTheHelperFailed(int terminationStatus) {
    switch (terminationStatus) {
    case lowByte(errAuthorizationCanceled):
        return "the request for an administrator's password was cancelled";
    case lowByte(errAuthorizationDenied):
        return "administrator rights were refused (a wrong password, or an account that may not administer this "
               "computer)";
    case lowByte(errAuthorizationInteractionNotAllowed):
        return "no authentication agent is running to ask for an administrator's password";
    case lowByte(errAuthorizationInternal):
        return "polkit, the system's authorization service, could not be reached or is not working";
    default:
        return "the install helper is missing or broken (it ended with status " + std::to_string(terminationStatus) +
               ")";
    }
}
