#include "Foundation/RootOnlyPath.h"

#include "Foundation/SystemCall.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

// Symbolic links followed before the walk gives up, as the kernel does.
constexpr int kMaximumLinks = 40;

ErrorOr<void> judge(const std::string& path, int& linksLeft) {
    if (path.empty() || path.front() != '/') return Failure::refusal(path + " is not an absolute path");
    std::string walked;
    std::size_t at = 0;
    while (true) {
        const std::string entry = walked.empty() ? "/" : walked;
        const ErrorOr<struct stat> examined = sys::lstat(entry.c_str());
        if (examined.isError()) {
            if (examined.error().code() == ENOENT) return {};
            return Failure::refusal(entry + " cannot be examined: " + std::strerror(examined.error().code()));
        }
        const struct stat& status = examined.value();
        if (status.st_uid != 0) return Failure::refusal(entry + " belongs to user id " + std::to_string(status.st_uid));
        if (S_ISLNK(status.st_mode)) {
            if (--linksLeft < 0) return Failure::refusal(entry + " leads through too many symbolic links");
            // A link to nothing is refused: whoever may make what it names
            // has not been judged.
            const std::optional<std::string> target = sys::resolvedPath(entry);
            if (!target && errno == ENOENT) return Failure::refusal(entry + " is a symbolic link to nothing");
            if (!target) return Failure::refusal(entry + " cannot be resolved: " + std::strerror(errno));
            TRY(judge(*target, linksLeft));
        } else if (status.st_mode & (S_IWGRP | S_IWOTH)) {
            return Failure::refusal(entry + ((status.st_mode & S_IWOTH) ? " is writable by everyone"
                                                                        : " is writable by its group"));
        }
        // The next component; empty ones ("//") are skipped.
        while (at < path.size() && path[at] == '/') ++at;
        if (at >= path.size()) return {};
        const std::size_t end = path.find('/', at);
        walked += "/" + path.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? path.size() : end;
    }
}

} // namespace

ErrorOr<void> onlyRootCanChange(const std::string& path) {
    int linksLeft = kMaximumLinks;
    return judge(path, linksLeft);
}

} // namespace platform
