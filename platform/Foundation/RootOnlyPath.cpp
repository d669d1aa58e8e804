#include "Foundation/RootOnlyPath.h"

#include "Foundation/SystemCall.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

// Symbolic links followed before the walk gives up, as the kernel does.
constexpr int kMaximumLinks = 40;

std::optional<std::string> judge(const std::string& path, int& linksLeft) {
    if (path.empty() || path.front() != '/') return path + " is not an absolute path";
    std::string walked;
    std::size_t at = 0;
    while (true) {
        const std::string entry = walked.empty() ? "/" : walked;
        struct stat status{};
        if (lstat(entry.c_str(), &status) != 0) {
            if (errno == ENOENT) return std::nullopt;
            return entry + " cannot be examined: " + std::strerror(errno);
        }
        if (status.st_uid != 0) return entry + " belongs to user id " + std::to_string(status.st_uid);
        if (S_ISLNK(status.st_mode)) {
            if (--linksLeft < 0) return entry + " leads through too many symbolic links";
            // A link to nothing is refused: whoever may make what it names
            // has not been judged.
            const std::optional<std::string> target = sys::resolvedPath(entry);
            if (!target && errno == ENOENT) return entry + " is a symbolic link to nothing";
            if (!target) return entry + " cannot be resolved: " + std::strerror(errno);
            if (std::optional<std::string> why = judge(*target, linksLeft)) return why;
        } else if (status.st_mode & (S_IWGRP | S_IWOTH)) {
            return entry + ((status.st_mode & S_IWOTH) ? " is writable by everyone" : " is writable by its group");
        }
        // The next component; empty ones ("//") are skipped.
        while (at < path.size() && path[at] == '/') ++at;
        if (at >= path.size()) return std::nullopt;
        const std::size_t end = path.find('/', at);
        walked += "/" + path.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? path.size() : end;
    }
}

} // namespace

std::optional<std::string> whyOthersThanRootCanChange(const std::string& path) {
    int linksLeft = kMaximumLinks;
    return judge(path, linksLeft);
}

} // namespace platform
