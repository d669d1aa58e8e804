#include "support/Sandbox.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

extern char** environ;

namespace testsupport {

namespace fs = std::filesystem;

Sandbox::Sandbox() {
    for (const auto& folder : {library(), systemLibrary(), home(), work()}) std::filesystem::create_directories(folder);
}

SandboxResult Sandbox::run(const std::vector<std::string>& command, const SandboxOptions& options) const {
    std::vector<std::string> args{"bwrap", "--die-with-parent", "--ro-bind", "/usr", "/usr", "--ro-bind", "/etc", "/etc"};
    for (const char* top : {"/bin", "/sbin", "/lib", "/lib64", "/lib32", "/libx32"}) {
        std::error_code error;
        const auto status = std::filesystem::symlink_status(top, error);
        if (error || !std::filesystem::exists(status)) continue;
        if (std::filesystem::is_symlink(status)) {
            args.insert(args.end(), {"--symlink", std::filesystem::read_symlink(top).string(), top});
        } else {
            args.insert(args.end(), {"--ro-bind", top, top});
        }
    }
    args.insert(args.end(), {"--proc", "/proc", "--dev", "/dev", "--tmpfs", "/tmp"});
    // Folders above the bound ones must be open to an unprivileged user too.
    for (const fs::path& bound : {work(), fs::path(PRODUCTS_DIR)}) {
        std::vector<std::string> ancestors;
        for (fs::path folder = bound.parent_path(); folder != folder.root_path(); folder = folder.parent_path()) {
            ancestors.insert(ancestors.begin(), folder.string());
        }
        for (const std::string& folder : ancestors) args.insert(args.end(), {"--perms", "0755", "--dir", folder});
    }
    args.insert(args.end(), {"--bind", library().string(), "/Library",
                             "--bind", (root_.path() / "System").string(), "/System",
                             "--bind", home().string(), "/root",
                             "--bind", work().string(), work().string(),
                             "--ro-bind", PRODUCTS_DIR, PRODUCTS_DIR,
                             "--setenv", "HOME", "/root",
                             "--chdir", options.workingDirectory.empty() ? "/" : options.workingDirectory});
    for (const auto& [host, inside] : options.replacements) args.insert(args.end(), {"--ro-bind", host, inside});
    if (options.asUnprivilegedUser) {
        args.insert(args.end(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
    }
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
    if (posix_spawnp(&pid, "bwrap", &actions, nullptr, argv.data(), environ) == 0) {
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

bool Sandbox::waitForLines(const std::string& text, int count, int seconds) const {
    for (int tick = 0; tick < seconds * 20; ++tick) {
        const std::string output = standardErrorSoFar();
        int found = 0;
        for (std::size_t at = output.find(text); at != std::string::npos; at = output.find(text, at + 1)) ++found;
        if (found >= count) return true;
        usleep(50 * 1000);
    }
    return false;
}

} // namespace testsupport
