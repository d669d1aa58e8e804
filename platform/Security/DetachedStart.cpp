#include "Security/DetachedStart.h"

#include "Foundation/SystemCall.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

int startDetached(const std::string& path, const std::vector<std::string>& arguments) {
    std::vector<std::string> texts{path};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);

    // The grandchild reports a failed exec through this pipe; a successful
    // exec closes it empty.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return errno;

    const pid_t child = fork();
    if (child < 0) {
        const int error = errno;
        close(report[0]);
        close(report[1]);
        return error;
    }
    if (child == 0) {
        setsid();
        const pid_t grandchild = fork();
        if (grandchild < 0) {
            const int error = errno;
            (void)!write(report[1], &error, sizeof error);
            _exit(1);
        }
        if (grandchild > 0) _exit(0);
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, STDIN_FILENO);
            dup2(null, STDOUT_FILENO);
            if (null > STDERR_FILENO) close(null);
        }
        execv(argv[0], argv.data());
        const int error = errno;
        (void)!write(report[1], &error, sizeof error);
        _exit(127);
    }

    close(report[1]);
    sys::waitForChild(child);
    int error = 0;
    const ssize_t got = sys::retryingInterrupts([&] { return read(report[0], &error, sizeof error); });
    close(report[0]);
    return got == static_cast<ssize_t>(sizeof error) ? error : 0;
}

} // namespace platform
