#include "Foundation/OwnStandardError.h"

#include "Foundation/SystemCall.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

void ownStandardError() {
    signal(SIGPIPE, SIG_IGN);
    struct stat status{};
    if (fstat(STDERR_FILENO, &status) == 0 && S_ISREG(status.st_mode)) return;

    // Only where the caller's own descriptor may write: reopened as root, it
    // must not become a way into what the caller may only read.
    const int flags = fcntl(STDERR_FILENO, F_GETFL);
    const bool writable = flags != -1 && (flags & O_ACCMODE) != O_RDONLY;
    int own = -1;
    if (writable && (S_ISFIFO(status.st_mode) || isatty(STDERR_FILENO))) {
        own = sys::retryingInterrupts(
            [] { return open("/proc/self/fd/2", O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); });
    }
    if (own < 0) own = sys::retryingInterrupts([] { return open("/dev/null", O_WRONLY | O_CLOEXEC); });
    if (own < 0 || own == STDERR_FILENO) return;  // standard error was closed: /dev/null took its place
    dup2(own, STDERR_FILENO);
    close(own);
}

} // namespace platform
