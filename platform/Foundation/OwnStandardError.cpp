#include "Foundation/OwnStandardError.h"

#include "Foundation/SystemCall.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

void ownStandardError() {
    signal(SIGPIPE, SIG_IGN);
    const ErrorOr<struct stat> status = sys::fstat(STDERR_FILENO);
    if (!status.isError() && S_ISREG(status.value().st_mode)) return;

    // Only where the caller's own descriptor may write: reopened as root, it
    // must not become a way into what the caller may only read.
    const ErrorOr<int> flags = sys::statusFlags(STDERR_FILENO);
    const bool writable = !flags.isError() && (flags.value() & O_ACCMODE) != O_RDONLY;
    const bool reopen = writable && !status.isError() && (S_ISFIFO(status.value().st_mode) || isatty(STDERR_FILENO));
    ErrorOr<Descriptor> own = reopen ? sys::open("/proc/self/fd/2", O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)
                                     : Failure::refusal("not reopened");
    if (own.isError()) own = sys::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (own.isError()) return;
    // Standard error was closed: /dev/null took its place, and stays.
    if (own.value().get() == STDERR_FILENO) {
        own.value().release();
        return;
    }
    (void)sys::dup2(own.value().get(), STDERR_FILENO);
}

} // namespace platform
