#include "RunReport.h"

#include "Foundation/Log.h"
#include "Foundation/SystemCall.h"
#include "Security/RunOutcome.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <utility>

namespace fs = std::filesystem;

namespace {

uid_t requestedBy = 0;

std::optional<std::string>& firstFailure() {
    static std::optional<std::string> reason;
    return reason;
}

// The bytes of the files at and below `path`, counted as far as they can be.
std::uintmax_t sizeOf(const std::string& path) {
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(path, error))) {
        const std::uintmax_t size = fs::file_size(path, error);
        return error ? 0 : size;
    }
    std::uintmax_t total = 0;
    for (fs::recursive_directory_iterator entry(path, error), end; !error && entry != end; entry.increment(error)) {
        if (entry->is_regular_file(error)) total += entry->file_size(error);
    }
    return total;
}

} // namespace

void setRunRequester(uid_t requester) { requestedBy = requester; }
uid_t runRequester() { return requestedBy; }

void noteRunFailure(std::string reason) {
    if (!firstFailure()) firstFailure() = std::move(reason);
}

RunReport::RunReport(const HelperIdentity& identity, uid_t requester, const platform::String* location,
                     const platform::String* destination)
    : identity_(identity), destination_(destination ? destination->text() : std::string()) {
    if (!location || destination_.empty()) return;
    // Without a record the caller learns that the run ended, but not how.
    platform::ErrorOr<platform::Descriptor> record = platform::openRunOutcomeRecord(requester, location->text());
    if (!record.isError()) record_ = record.releaseValue();
}

RunReport::~RunReport() {
    platform::RunOutcome outcome;
    outcome.destination = destination_;
    clock_gettime(CLOCK_REALTIME, &outcome.ended);
    if (firstFailure()) {
        outcome.failed = true;
        outcome.reason = platform::escapedControlCharacters(*firstFailure());
        platform::journalEntry(platform::LogPriority::Error,
                               std::string(identity_.name) + " failed: " + outcome.reason);
    }
    if (record_) (void)platform::writeRunOutcome(record_.get(), outcome);
}

std::string whyTheStepFailed(const std::string& program, const std::string& source, const std::string& destination) {
    std::string folder = fs::path(destination).parent_path().string();
    platform::ErrorOr<struct statvfs> examined = platform::Failure::refusal("no folder");
    while (!folder.empty() && (examined = platform::sys::statvfs(folder.c_str())).isError()) {
        folder = fs::path(folder).parent_path().string();
    }
    if (!examined.isError()) {
        const struct statvfs& disk = examined.value();
        if (disk.f_flag & ST_RDONLY) return "the Library folder is read-only";
        if (program == "/bin/cp" && !source.empty() &&
            static_cast<std::uintmax_t>(disk.f_bavail) * disk.f_frsize < sizeOf(source)) {
            return "not enough space in " + folder;
        }
    }
    if (program == "/bin/cp") return "the payload could not be copied";
    return program + " failed";
}
