// Started as the superuser by polkit on behalf of an authorization: says so,
// reads one program and its arguments, starts it detached and reports back.

#include "Security/DetachedStart.h"
#include "Security/LauncherProtocol.h"

#include <errno.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string readRequest() {
    std::string bytes;
    char buffer[4096];
    while (bytes.size() <= platform::launcher::kMaximumRequestSize) {
        const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return bytes;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc > 1) {
        std::fprintf(stderr,
                     "usage: %s\n"
                     "Started by pkexec for an authorization: it reads a program and its arguments\n"
                     "(NUL-separated) on standard input and starts the program as the superuser.\n",
                     argv[0]);
        return std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    if (geteuid() != 0) {
        std::fprintf(stderr, "%s: not running as the superuser\n", argv[0]);
        return 1;
    }
    if (!writeAll(STDOUT_FILENO, std::string(platform::launcher::kGranted))) return 1;
    const std::string bytes = readRequest();
    if (bytes.empty()) return 0;  // the caller changed its mind
    const auto request = platform::launcher::decodeRequest(bytes);
    const int error = request ? platform::startDetached(request->path, request->arguments) : EINVAL;
    writeAll(STDOUT_FILENO, platform::launcher::encodeReply(error));
    return error == 0 ? 0 : 1;
}
