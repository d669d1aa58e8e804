#include "LocationLock.h"

#include "RunReport.h"

#include "Foundation/Log.h"
#include "Foundation/RootOnlyPath.h"
#include "Foundation/SystemCall.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

using platform::NSLogEscaped;

namespace {

// Root's alone, so that nobody else can hold a lock or put a file in its place.
constexpr const char* kLockFolder = "/run/privet";
constexpr std::chrono::milliseconds kPollInterval{100};

// The lock file of a location, opened; -1 with the reason in `why`.
int openLockFile(const std::string& location, std::string& why) {
    if (mkdir(kLockFolder, 0700) != 0 && errno != EEXIST) {
        why = platform::sys::failure("mkdir");
        return -1;
    }
    const std::string path = std::string(kLockFolder) + "/" + location + ".lock";
    if (const std::optional<std::string> refusal = platform::whyOthersThanRootCanChange(path)) {
        why = *refusal;
        return -1;
    }
    const int fd = platform::sys::retryingInterrupts(
        [&] { return open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600); });
    if (fd < 0) why = platform::sys::failure("open");
    return fd;
}

bool tryLock(int fd) { return platform::sys::retryingInterrupts([&] { return flock(fd, LOCK_EX | LOCK_NB); }) == 0; }

} // namespace

bool LocationLock::take(const HelperIdentity& identity, const platform::String* location) {
    std::string why;
    fd_ = platform::Descriptor(openLockFile(location->text(), why));
    if (!fd_) {
        NSLogEscaped("%s cannot take its turn in %@: %s; nothing was done", identity.name, location, why.c_str());
        noteRunFailure("it could not take its turn in " + location->text() + ": " + why);
        return false;
    }
    if (tryLock(fd_.get())) return true;
    if (errno != EWOULDBLOCK) {
        NSLogEscaped("%s cannot take its turn in %@: %s; nothing was done", identity.name, location,
                     platform::sys::failure("flock").c_str());
        noteRunFailure("it could not take its turn in " + location->text() + ": " + platform::sys::failure("flock"));
        return false;
    }
    NSLogEscaped("%s waiting for another run in %@ to end", identity.name, location);
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kPollInterval);
        if (tryLock(fd_.get())) return true;
    }
    NSLogEscaped("%s gave up waiting for another run in %@ to end; nothing was done", identity.name, location);
    noteRunFailure("another run in " + location->text() + " did not end within five minutes");
    return false;
}
