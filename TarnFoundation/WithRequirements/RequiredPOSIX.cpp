#include "WithRequirements/RequiredPOSIX.h"

#include "WithRequirements/RequiredCoreLog.h"
#include "WithRequirements/RequiredPrivate.h"

#include <errno.h>
#include <syslog.h>

namespace {

// What an errno means when write(2) fails; empty for the others.
const char* errnoText(int error) {
    switch (error) {
    case EPERM:
        return "The operation was prevented by a file seal; see fcntl(2).";
    case EINTR:
        return "The call was interrupted by a signal before any data was written; see signal(7).";
    case EIO:
        return "low-level I/O error occurred while modifying the inode. ";
    case EBADF:
        return "fd is not a valid file descriptor or is not open for writing.";
    case EFAULT:
        return "buf is outside your accessible address space.";
    case EINVAL:
        return "fd is attached to an object which is unsuitable for writing; or the file was opened with "
               "the O_DIRECT flag, and either the address specified in buf, the value specified in count, "
               "or the file offset is not suitably aligned. ";
    case EFBIG:
        return "An attempt was made to write a file that exceeds the implementation-defined maximum file "
               "size or the process's file size limit, or to write at a position past the maximum allowed "
               "offset.";
    case ENOSPC:
        return "The device containing the file referred to by fd has no room for the data. ";
    case EPIPE:
        return "fd is connected to a pipe or socket whose reading end is closed.  When this happens the "
               "writing process will also receive a SIGPIPE signal.  (Thus, the write return value is "
               "seen only if the program catches, blocks or ignores this signal.)";
    case EAGAIN:
        return "The file descriptor fd refers to a file other than a socket and has been  marked "
               "nonblocking (O_NONBLOCK), and the write would block. See open(2) for further details on "
               "the O_NONBLOCK flag";
    case EDESTADDRREQ:
        return "fd refers to a datagram socket for which a peer address has not been set using connect(2).";
    case EDQUOT:
        return "The user's quota of disk blocks on the filesystem containing the file referred to by fd "
               "has been exhausted.";
    default:
        return "";
    }
}

__attribute__((constructor(REQUIRED_LOAD_STEP_SYSTEM_LOG))) void RequiredPOSIXInit() {
    openlog("RequiredPOSIX", LOG_PID | LOG_PERROR, LOG_USER);
}

__attribute__((destructor)) void RequiredPOSIXQuit() { closelog(); }

} // namespace

extern "C" void __POSIXNoErrorRequiredBody(int result, const char* function, const char* file, int32_t line,
                                           const char* expression) {
    const int error = errno;
    const RequiredSourceLocation location{function, file, line, expression};
    __CFLogError(&location, CFSTR("REQUIRED_POSIX_ERRNO errno=%d (%d) %s"), error, result, errnoText(error));
}
