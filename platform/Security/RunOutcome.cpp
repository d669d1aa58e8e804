#include "Security/RunOutcome.h"

#include "Foundation/Descriptor.h"
#include "Foundation/SystemCall.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

namespace platform {

namespace {

constexpr const char* kOutcomes = "/run/privet-outcomes";
// The last line of a whole record: a reader that meets a record being
// rewritten sees none.
constexpr const char* kEnd = "end";

bool laterOrSame(const timespec& a, const timespec& b) {
    return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec >= b.tv_nsec);
}

// A folder of root's that only root can change, made when missing (only
// root can make anything in /run).
bool rootFolder(const std::string& path, mode_t mode, gid_t group) {
    if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST) return false;
    const Descriptor fd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    return fd && fchown(fd.get(), 0, group) == 0 && fchmod(fd.get(), mode) == 0;
}

} // namespace

std::string runOutcomeFolder(uid_t requester) { return std::string(kOutcomes) + "/" + std::to_string(requester); }

std::string encodeRunOutcome(const RunOutcome& outcome) {
    char ended[64];
    std::snprintf(ended, sizeof ended, "%lld.%09ld", static_cast<long long>(outcome.ended.tv_sec),
                  static_cast<long>(outcome.ended.tv_nsec));
    // Neither the destination (a path) nor the reason holds a line break:
    // both were escaped or judged before.
    return outcome.destination + "\n" + ended + "\n" + (outcome.failed ? "failed" : "done") + "\n" + outcome.reason +
           "\n" + kEnd + "\n";
}

std::optional<RunOutcome> decodeRunOutcome(const std::string& text) {
    std::istringstream in(text);
    RunOutcome outcome;
    std::string ended;
    std::string state;
    std::string end;
    if (!std::getline(in, outcome.destination) || !std::getline(in, ended) || !std::getline(in, state) ||
        !std::getline(in, outcome.reason) || !std::getline(in, end) || end != kEnd) {
        return std::nullopt;
    }
    long long seconds = 0;
    long nanoseconds = 0;
    if (std::sscanf(ended.c_str(), "%lld.%ld", &seconds, &nanoseconds) != 2) return std::nullopt;
    outcome.ended = {static_cast<time_t>(seconds), nanoseconds};
    if (state != "failed" && state != "done") return std::nullopt;
    outcome.failed = state == "failed";
    return outcome;
}

Descriptor openRunOutcomeRecord(uid_t requester, const std::string& location) {
    const passwd* account = getpwuid(requester);
    const gid_t group = account ? account->pw_gid : 0;
    if (!rootFolder(kOutcomes, 0755, 0) || !rootFolder(runOutcomeFolder(requester), 0750, group)) return {};
    const std::string path = runOutcomeFolder(requester) + "/" + location;
    Descriptor fd(open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0640));
    if (!fd || fchown(fd.get(), 0, group) != 0 || fchmod(fd.get(), 0640) != 0) return {};
    return fd;
}

bool writeRunOutcome(int fd, const RunOutcome& outcome) {
    const std::string text = encodeRunOutcome(outcome);
    // Cut first: a reader then sees no record, or the whole new one.
    if (ftruncate(fd, 0) != 0) return false;
    return pwrite(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
}

std::optional<RunOutcome> readRunOutcome(const std::string& location, const std::string& destination,
                                         const timespec& asked) {
    const std::string path = runOutcomeFolder(getuid()) + "/" + location;
    const Descriptor fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) return std::nullopt;
    const std::string text = sys::readUpTo(fd.get(), 64 * 1024);
    std::optional<RunOutcome> outcome = decodeRunOutcome(text);
    if (!outcome || outcome->destination != destination || !laterOrSame(outcome->ended, asked)) return std::nullopt;
    return outcome;
}

} // namespace platform
