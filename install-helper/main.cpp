// One source, built as KestrelInstallHelper and as OspreyInstallHelper.

#include "HelperTool.h"
#include "RunReport.h"

#include "Foundation/OwnStandardError.h"
#include "Security/LauncherProtocol.h"
#include "Security/RootProcess.h"

#include <unistd.h>

#include <cstdlib>

// The tool's information list, readable from the ".info_plist" section.
__asm__(".pushsection .info_plist,\"a\",@progbits\n"
        ".incbin \"" PRIVET_HELPER_INFO_PLIST "\"\n"
        ".byte 0\n"
        ".popsection\n");

int main(int argc, char* argv[]) {
    // The date and time of the build (SOURCE_DATE_EPOCH, when set, fixes them).
    static const HelperIdentity identity{PRIVET_HELPER_NAME, __DATE__ " " __TIME__};
    // The privileged run takes nothing from its caller but its arguments,
    // and writes where its caller said, but on its own terms.
    if (argc > ARGUMENT_COUNT) {
        // Read before the environment is reset: set by the launcher only.
        if (geteuid() == 0) {
            setRunRequester(platform::launcher::requesterOf(std::getenv(platform::launcher::kRequesterVariable)));
        }
        platform::takeOverRootProcess();
        platform::ownStandardError();
    }
    return runInstallHelper(identity, argc, argv);
}
