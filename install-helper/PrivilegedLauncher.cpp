// Started as the superuser by polkit on behalf of an authorization: says so,
// reads one request, and starts it detached when it is an install helper's
// privileged run; reports back either way.

#include "LaunchPolicy.h"

#include "Foundation/CommandLine.h"
#include "Foundation/Log.h"
#include "Foundation/OwnStandardError.h"
#include "Foundation/SystemCall.h"
#include "Security/DetachedStart.h"
#include "Security/RootProcess.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace launcher = platform::launcher;

#ifndef PRIVET_PRODUCT_DIR
#error "PRIVET_PRODUCT_DIR names the folder the product is installed to"
#endif

// A caller sends its request as soon as it reads "granted".
constexpr std::chrono::seconds kRequestPatience{5};

int main(int argc, char* argv[]) {
    // Started by pkexec with no arguments; any are a person asking.
    if (argc > 1) {
        if (std::strcmp(argv[1], "--version") == 0) {
            std::fputs(platform::versionText("privileged-launcher").c_str(), stdout);
            return 0;
        }
        if (std::strcmp(argv[1], "--help") != 0) {
            const std::string problem = (argv[1][0] == '-' ? "unknown option " : "unexpected argument ") +
                                        std::string(argv[1]);
            std::fputs(platform::badUsageText("privileged-launcher", problem).c_str(), stderr);
            return 2;
        }
        std::fputs("usage: privileged-launcher\n"
                   "Started by pkexec for an authorization: it reads a program and its arguments\n"
                   "(NUL-separated) on standard input and starts the program as the superuser,\n"
                   "when it is an install helper's privileged run.\n",
                   stdout);
        return 0;
    }
    if (geteuid() != 0) {
        std::fprintf(stderr, "%s: not running as the superuser\n", argv[0]);
        return 1;
    }
    // The user polkit acted for, read before the environment is reset.
    const uid_t requester = launcher::requesterOf(std::getenv("PKEXEC_UID"));
    platform::takeOverRootProcess();
    setenv(launcher::kRequesterVariable, std::to_string(requester).c_str(), 1);
    umask(022);
    platform::ownStandardError();
    if (platform::sys::chdir("/").isError() || platform::sys::writeAll(STDOUT_FILENO, launcher::kGranted).isError()) {
        return 1;
    }
    const std::optional<std::string> bytes =
        platform::sys::readUpToWithin(STDIN_FILENO, launcher::kMaximumRequestSize + 1, kRequestPatience);
    if (bytes && bytes->empty()) return 0;  // the caller changed its mind
    const std::optional<launcher::Request> request = bytes ? launcher::decodeRequest(*bytes) : std::nullopt;
    int error = EINVAL;
    if (!bytes) {
        platform::NSLog("privileged-launcher refused a request: none came within %d seconds",
                        static_cast<int>(kRequestPatience.count()));
        error = ETIMEDOUT;
    } else if (!request) {
        platform::NSLog("privileged-launcher refused a request: it is malformed");
    } else if (const platform::ErrorOr<std::string> executable = judgeLaunchRequest(*request, PRIVET_PRODUCT_DIR);
               executable.isError()) {
        platform::NSLogEscaped("privileged-launcher refused to start %s: %s", request->path.c_str(),
                               executable.error().describe().c_str());
        error = EPERM;
    } else {
        const platform::ErrorOr<void> started = platform::startDetached(executable.value(), request->arguments);
        // A refusal carries no errno of its own.
        error = !started.isError() ? 0 : started.error().code() != 0 ? started.error().code() : EINVAL;
    }
    (void)platform::sys::writeAll(STDOUT_FILENO, launcher::encodeReply(error));
    return error == 0 ? 0 : 1;
}
