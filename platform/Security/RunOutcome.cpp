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
ErrorOr<void> rootFolder(const std::string& path, mode_t mode, gid_t group) {
    TRY(sys::mkdirUnlessThere(path.c_str(), mode).about(path));
    const Descriptor fd = TRY(sys::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC).about(path));
    TRY(sys::fchown(fd.get(), 0, group).about(path));
    return sys::fchmod(fd.get(), mode).about(path);
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

ErrorOr<Descriptor> openRunOutcomeRecord(uid_t requester, const std::string& location) {
    const passwd* account = getpwuid(requester);
    const gid_t group = account ? account->pw_gid : 0;
    TRY(rootFolder(kOutcomes, 0755, 0));
    TRY(rootFolder(runOutcomeFolder(requester), 0750, group));
    const std::string path = runOutcomeFolder(requester) + "/" + location;
    Descriptor fd = TRY(sys::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0640).about(path));
    TRY(sys::fchown(fd.get(), 0, group).about(path));
    TRY(sys::fchmod(fd.get(), 0640).about(path));
    return fd;
}

ErrorOr<void> writeRunOutcome(int fd, const RunOutcome& outcome) {
    // Cut first: a reader then sees no record, or the whole new one.
    TRY(sys::ftruncate(fd, 0));
    return sys::pwriteAll(fd, encodeRunOutcome(outcome), 0);
}

std::optional<RunOutcome> readRunOutcome(const std::string& location, const std::string& destination,
                                         const timespec& asked) {
    const std::string path = runOutcomeFolder(getuid()) + "/" + location;
    const ErrorOr<Descriptor> fd = sys::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd.isError()) return std::nullopt;
    const std::string text = sys::readUpTo(fd.value().get(), 64 * 1024);
    std::optional<RunOutcome> outcome = decodeRunOutcome(text);
    if (!outcome || outcome->destination != destination || !laterOrSame(outcome->ended, asked)) return std::nullopt;
    return outcome;
}

} // namespace platform
