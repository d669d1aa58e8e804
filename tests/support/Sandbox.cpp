#include "support/Sandbox.h"

#include "Security/ControlGroup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <thread>

extern char** environ;

namespace testsupport {

namespace fs = std::filesystem;

Sandbox::Sandbox() {
    for (const auto& folder : {library(), systemLibrary(), home(), work()}) std::filesystem::create_directories(folder);
    const std::optional<std::string> hierarchy = platform::controlGroupHierarchy();
    std::error_code error;
    if (geteuid() == 0 && hierarchy) {
        controlGroup_ = fs::path(*hierarchy) / root_.path().filename();
        if (!fs::create_directory(controlGroup_, error)) controlGroup_.clear();
    }
}

Sandbox::~Sandbox() {
    if (controlGroup_.empty()) return;
    writeFile(controlGroup_ / "cgroup.kill", "1");
    // A group goes once its processes have, its own groups first.
    for (int tick = 0; tick < 100 && fs::exists(controlGroup_); ++tick) {
        std::vector<fs::path> groups{controlGroup_};
        std::error_code error;
        for (fs::recursive_directory_iterator entry(controlGroup_, error), end; !error && entry != end;
             entry.increment(error)) {
            if (entry->is_directory(error)) groups.push_back(entry->path());
        }
        std::sort(groups.begin(), groups.end(), [](const fs::path& a, const fs::path& b) { return a.string() > b.string(); });
        for (const fs::path& group : groups) rmdir(group.c_str());
        if (fs::exists(controlGroup_)) usleep(20 * 1000);
    }
}

SandboxResult Sandbox::run(const std::vector<std::string>& command, const SandboxOptions& options) const {
    // The tests' sources hold the sanitizers' suppression files.
    const std::string testSources = fs::path(SANDBOX_EXEC).parent_path().parent_path().string();
    std::vector<std::string> args{SANDBOX_EXEC, "--root", root_.path().string(), "--bind", work().string(),
                                  "--ro-bind", PRODUCTS_DIR, "--ro-bind", testSources};
    if (options.asUnprivilegedUser) args.push_back("--unprivileged");
    if (options.installedProduct) args.insert(args.end(), {"--product", PRODUCT_STAGE, PRODUCT_PREFIX});
    for (const std::string& folder : options.readOnlyFolders) args.insert(args.end(), {"--ro-bind", folder});
    for (const auto& [host, inside] : options.replacements) args.insert(args.end(), {"--replace", host, inside});
    if (!options.workingDirectory.empty()) args.insert(args.end(), {"--chdir", options.workingDirectory});
    if (!controlGroup_.empty()) args.insert(args.end(), {"--cgroup", controlGroup_.string()});
    args.push_back("--");
    args.insert(args.end(), command.begin(), command.end());

    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    const std::string errorFile = (root_.path() / "stderr").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const std::string outputFile = (root_.path() / "stdout").string();
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    SandboxResult result;
    if (posix_spawn(&pid, SANDBOX_EXEC, &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.standardError = readFile(errorFile);
    result.standardOutput = readFile(outputFile);
    return result;
}

std::string Sandbox::standardErrorSoFar() const { return readFile(root_.path() / "stderr"); }

namespace {

// Whether `done` came true within `seconds`, looked at every 50 ms.
bool within(int seconds, const std::function<bool()>& done) {
    for (int tick = 0; tick < seconds * 20; ++tick) {
        if (done()) return true;
        usleep(50 * 1000);
    }
    return false;
}

// Whether a process holds the file `file` open.
bool heldOpen(const struct stat& file) {
    std::error_code error;
    for (fs::directory_iterator process("/proc", error), end; !error && process != end; process.increment(error)) {
        if (process->path().filename().string().find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code gone;
        for (fs::directory_iterator fd(process->path() / "fd", gone), none; !gone && fd != none; fd.increment(gone)) {
            struct stat target{};
            if (stat(fd->path().c_str(), &target) == 0 && target.st_dev == file.st_dev && target.st_ino == file.st_ino) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

bool Sandbox::waitForLines(const std::string& text, int count, int seconds) const {
    return within(seconds, [&] {
        const std::string output = standardErrorSoFar();
        int found = 0;
        for (std::size_t at = output.find(text); at != std::string::npos; at = output.find(text, at + 1)) ++found;
        return found >= count;
    });
}

bool Sandbox::waitUntilStandardErrorIsLeft(int seconds) const {
    struct stat file{};
    if (stat((root_.path() / "stderr").c_str(), &file) != 0) return false;
    return within(seconds, [&file] { return !heldOpen(file); });
}

} // namespace testsupport
