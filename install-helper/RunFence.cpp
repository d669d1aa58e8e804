#include "RunFence.h"

#include "Foundation/Log.h"
#include "Foundation/SystemCall.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/landlock.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <initializer_list>

using platform::NSLogEscaped;
using platform::sys::failure;

#ifndef LANDLOCK_ACCESS_FS_TRUNCATE
#define LANDLOCK_ACCESS_FS_TRUNCATE (1ULL << 14)
#endif

namespace {

// A descriptor closed when it goes.
struct Descriptor {
    int fd = -1;
    explicit Descriptor(int value) : fd(value) {}
    ~Descriptor() {
        if (fd >= 0) close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
};

// Makes the folders of `path` that are missing, mode 755.
bool makeFolders(const std::string& path) {
    for (std::size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
        const std::string folder = path.substr(0, at);
        if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return false;
        if (at == std::string::npos) return true;
    }
}

// The deepest folder at or above `folder` that exists, every link resolved.
std::string deepestExistingFolder(std::string folder) {
    while (!folder.empty()) {
        struct stat status{};
        const std::optional<std::string> resolved = platform::sys::resolvedPath(folder);
        if (resolved && stat(resolved->c_str(), &status) == 0 && S_ISDIR(status.st_mode)) return *resolved;
        folder = folder.substr(0, folder.rfind('/'));
    }
    return "/";
}

// Everything read-only but `folder` (at `path`), in a mount namespace of the
// run's own. True when set up or the kernel cannot; false when it was left
// half made.
bool fenceModesAndOwners(const HelperIdentity& identity, int folder, const std::string& path) {
    // The folder's own mount, cloned before everything is made read-only and
    // attached again on top. Private first: nothing done here may reach the
    // machine's own mounts.
    const Descriptor tree(open_tree(folder, "", OPEN_TREE_CLOEXEC | OPEN_TREE_CLONE | AT_EMPTY_PATH | AT_RECURSIVE));
    mount_attr readOnly{};
    readOnly.attr_set = MOUNT_ATTR_RDONLY;
    const char* failed = nullptr;
    if (tree.fd < 0) failed = "open_tree";
    else if (unshare(CLONE_NEWNS) != 0) failed = "unshare";
    else if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) failed = "mount";
    else if (mount_setattr(AT_FDCWD, "/", AT_RECURSIVE, &readOnly, sizeof readOnly) != 0) failed = "mount_setattr";
    if (failed) {
        NSLogEscaped("%s changes modes and owners unfenced: %s", identity.name, failure(failed).c_str());
        return true;
    }
    if (move_mount(tree.fd, "", AT_FDCWD, path.c_str(), MOVE_MOUNT_F_EMPTY_PATH | MOVE_MOUNT_T_SYMLINKS) != 0) {
        NSLogEscaped("%s cannot make %s writable again: %s; nothing was done", identity.name, path.c_str(),
                     failure("move_mount").c_str());
        return false;
    }
    return true;
}

long landlock(long call, auto... arguments) { return syscall(call, arguments...); }

// Writes, creation and removal only below `folder`, and writes to /dev/null.
void fenceWrites(const HelperIdentity& identity, int folder) {
    const long abi = landlock(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1) {
        NSLogEscaped("%s writes unfenced: this kernel has no Landlock", identity.name);
        return;
    }
    // Moving the copy into place renames it into another folder, which
    // Landlock allows from its second version on.
    if (abi < 2) {
        NSLogEscaped("%s writes unfenced: this kernel's Landlock cannot let a copy move into place", identity.name);
        return;
    }
    std::uint64_t handled = LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR |
                            LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR | LANDLOCK_ACCESS_FS_MAKE_DIR |
                            LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO |
                            LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM | LANDLOCK_ACCESS_FS_REFER;
    std::uint64_t fileWrites = LANDLOCK_ACCESS_FS_WRITE_FILE;
    if (abi >= 3) {
        handled |= LANDLOCK_ACCESS_FS_TRUNCATE;
        fileWrites |= LANDLOCK_ACCESS_FS_TRUNCATE;
    }
    landlock_ruleset_attr attributes{};
    attributes.handled_access_fs = handled;
    const Descriptor ruleset(
        static_cast<int>(landlock(SYS_landlock_create_ruleset, &attributes, sizeof attributes, 0)));
    const Descriptor null(open("/dev/null", O_PATH | O_CLOEXEC));
    landlock_path_beneath_attr belowFolder{handled, folder};
    landlock_path_beneath_attr toNull{fileWrites, null.fd};
    const char* failed = ruleset.fd < 0 ? "landlock_create_ruleset" : nullptr;
    if (!failed && (landlock(SYS_landlock_add_rule, ruleset.fd, LANDLOCK_RULE_PATH_BENEATH, &belowFolder, 0) != 0 ||
                    (null.fd >= 0 && landlock(SYS_landlock_add_rule, ruleset.fd, LANDLOCK_RULE_PATH_BENEATH, &toNull,
                                              0) != 0))) {
        failed = "landlock_add_rule";
    }
    if (!failed && landlock(SYS_landlock_restrict_self, ruleset.fd, 0) != 0) failed = "landlock_restrict_self";
    if (failed) NSLogEscaped("%s writes unfenced: %s", identity.name, failure(failed).c_str());
}

// What the steps use: changing owners, reading and writing whatever the
// modes say, changing modes of entries of others, keeping set-id bits in a
// copy until the copy is sealed.
constexpr std::initializer_list<int> kKeptCapabilities{CAP_CHOWN, CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER,
                                                       CAP_FSETID};

// Drops every other capability, for good and for every program started.
void dropCapabilities(const HelperIdentity& identity) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct sets[2]{};
    if (syscall(SYS_capget, &header, sets) != 0 || !(sets[0].effective & (1u << CAP_SETPCAP))) return;  // nothing to drop
    std::uint64_t kept = 0;
    for (const int capability : kKeptCapabilities) kept |= std::uint64_t{1} << capability;
    for (int capability = 0; capability < 64; ++capability) {
        if (kept & (std::uint64_t{1} << capability)) continue;
        if (prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0 && errno != EINVAL) {
            NSLogEscaped("%s keeps its capabilities: %s", identity.name, failure("prctl").c_str());
            return;
        }
    }
    prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    for (int half = 0; half < 2; ++half) {
        const auto mask = static_cast<std::uint32_t>(kept >> (32 * half));
        sets[half].effective &= mask;
        sets[half].permitted &= mask;
        sets[half].inheritable = 0;
    }
    if (syscall(SYS_capset, &header, sets) != 0) {
        NSLogEscaped("%s keeps its capabilities: %s", identity.name, failure("capset").c_str());
    }
}

} // namespace

bool fenceRun(const HelperIdentity& identity, const std::string& library, const std::string& folder) {
    if (!makeFolders(library)) {
        NSLogEscaped("%s cannot make %s: %s; nothing was done", identity.name, library.c_str(),
                     failure("mkdir").c_str());
        return false;
    }
    const std::string workFolder = deepestExistingFolder(folder);
    const Descriptor work(open(workFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (work.fd < 0) {
        NSLogEscaped("%s cannot open %s: %s; nothing was done", identity.name, workFolder.c_str(),
                     failure("open").c_str());
        return false;
    }
    if (!fenceModesAndOwners(identity, work.fd, workFolder)) return false;
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        NSLogEscaped("%s may gain privileges: %s", identity.name, failure("prctl").c_str());
    }
    fenceWrites(identity, work.fd);
    dropCapabilities(identity);
    return true;
}
