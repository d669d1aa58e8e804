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

namespace sys = platform::sys;
using platform::Descriptor;
using platform::ErrorOr;
using platform::Failure;
using platform::NSLogEscaped;

namespace {

// Root's alone, so that nobody else can hold a lock or put a file in its place.
constexpr const char* kLockFolder = "/run/privet";
constexpr std::chrono::milliseconds kPollInterval{100};

// The lock file of a location, opened.
ErrorOr<Descriptor> openLockFile(const std::string& location) {
    TRY(sys::mkdirUnlessThere(kLockFolder, 0700));
    const std::string path = std::string(kLockFolder) + "/" + location + ".lock";
    TRY(platform::onlyRootCanChange(path));
    return sys::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
}

ErrorOr<void> tryLock(int fd) { return sys::flock(fd, LOCK_EX | LOCK_NB); }

} // namespace

bool LocationLock::take(const HelperIdentity& identity, const platform::String* location) {
    const auto cannot = [&](const Failure& failure) {
        const std::string why = failure.describe();
        NSLogEscaped("%s cannot take its turn in %@: %s; nothing was done", identity.name, location, why.c_str());
        noteRunFailure("it could not take its turn in " + location->text() + ": " + why);
        return false;
    };
    ErrorOr<Descriptor> opened = openLockFile(location->text());
    if (opened.isError()) return cannot(opened.error());
    fd_ = opened.releaseValue();
    const ErrorOr<void> locked = tryLock(fd_.get());
    if (!locked.isError()) return true;
    if (locked.error().code() != EWOULDBLOCK) return cannot(locked.error());
    NSLogEscaped("%s waiting for another run in %@ to end", identity.name, location);
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kPollInterval);
        if (!tryLock(fd_.get()).isError()) return true;
    }
    NSLogEscaped("%s gave up waiting for another run in %@ to end; nothing was done", identity.name, location);
    noteRunFailure("another run in " + location->text() + " did not end within five minutes");
    return false;
}
