#include "RunFence.h"

#include "RunReport.h"

#include "Foundation/Descriptor.h"
#include "Foundation/Log.h"
#include "Foundation/SystemCall.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/landlock.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

using platform::Descriptor;
using platform::NSLogEscaped;
using platform::sys::failure;

namespace {

// Rights and scopes of Landlock versions newer than these headers know.
constexpr std::uint64_t kAccessTruncate = 1ULL << 14;       // version 3
constexpr std::uint64_t kAccessBindTcp = 1ULL << 0;         // version 4
constexpr std::uint64_t kAccessConnectTcp = 1ULL << 1;      // version 4
constexpr std::uint64_t kScopeAbstractSockets = 1ULL << 0;  // version 6
constexpr std::uint64_t kScopeSignals = 1ULL << 1;          // version 6

// The ruleset's attributes as version 6 has them; an older kernel is handed
// only the fields it knows.
struct RulesetAttributes {
    std::uint64_t handledAccessFs = 0;
    std::uint64_t handledAccessNet = 0;
    std::uint64_t scoped = 0;
};

// A kernel without the mechanism is a reason to go on without it; any other
// failure of a call is a reason not to act at all.
bool kernelLacks(int error) { return error == ENOSYS || error == EOPNOTSUPP; }

bool refuse(const HelperIdentity& identity, const char* fence, const char* call) {
    const std::string why = failure(call);
    NSLogEscaped("%s cannot fence %s: %s; nothing was done", identity.name, fence, why.c_str());
    noteRunFailure(std::string("it could not confine itself (") + fence + "): " + why);
    return false;
}

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

bool isAtOrBelow(const std::string& path, const std::string& folder) {
    return path == folder || path.starts_with(folder + "/");
}

// A mount of what lies at `path`, detached, to be shown again inside the
// namespace: read-only, without devices or set-id programs unless it is a
// device itself.
struct KeptMount {
    std::string path;
    Descriptor tree;
};

// Folders shown empty in the namespace, so that no socket, file or device of
// the machine's can be reached there; /dev then shows only these devices.
constexpr std::initializer_list<const char*> kEmptiedFolders{"/run", "/tmp", "/var/tmp", "/dev"};
constexpr std::initializer_list<const char*> kDevices{"/dev/null", "/dev/zero", "/dev/urandom"};
// Every user may write to the journal, and the run's own lines go there.
constexpr const char* kJournalSocket = "/run/systemd/journal/socket";

// Clones what is at `path`; an absent path keeps nothing. False when a call failed.
bool keep(std::vector<KeptMount>& kept, const std::string& path, bool device, const char*& failed) {
    Descriptor tree(open_tree(AT_FDCWD, path.c_str(), OPEN_TREE_CLOEXEC | OPEN_TREE_CLONE | AT_RECURSIVE));
    if (!tree) {
        failed = "open_tree";
        return errno == ENOENT;
    }
    mount_attr attributes{};
    attributes.attr_set = device ? MOUNT_ATTR_RDONLY : MOUNT_ATTR_RDONLY | MOUNT_ATTR_NODEV | MOUNT_ATTR_NOSUID;
    if (mount_setattr(tree.get(), "", AT_EMPTY_PATH | AT_RECURSIVE, &attributes, sizeof attributes) != 0) {
        failed = "mount_setattr";
        return false;
    }
    kept.push_back({path, std::move(tree)});
    return true;
}

// A place in the empty folder to show `mount` at: its folders, and a folder
// or an empty file as the kept mount is one.
bool makeMountPoint(const std::string& folder, const KeptMount& mount) {
    for (std::size_t at = mount.path.find('/', folder.size() + 1); at != std::string::npos;
         at = mount.path.find('/', at + 1)) {
        if (mkdir(mount.path.substr(0, at).c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat status{};
    if (fstat(mount.tree.get(), &status) != 0) return false;
    if (S_ISDIR(status.st_mode)) return mkdir(mount.path.c_str(), 0755) == 0 || errno == EEXIST;
    const Descriptor file(open(mount.path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    return static_cast<bool>(file);
}

// An empty read-only folder over `folder`, showing only what `kept` holds
// below it.
bool emptyFolder(const std::string& folder, std::vector<KeptMount>& kept, const char*& failed) {
    struct stat status{};
    if (lstat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return true;
    constexpr unsigned long kFlags = MS_NOSUID | MS_NODEV | MS_NOEXEC;
    failed = "mount";
    if (mount("privet-fence", folder.c_str(), "tmpfs", kFlags, "mode=0755,size=64k") != 0) return false;
    for (KeptMount& each : kept) {
        if (!each.tree || !isAtOrBelow(each.path, folder) || each.path == folder) continue;
        failed = "mkdir";
        if (!makeMountPoint(folder, each)) return false;
        failed = "move_mount";
        if (move_mount(each.tree.get(), "", AT_FDCWD, each.path.c_str(), MOVE_MOUNT_F_EMPTY_PATH) != 0) return false;
        each.tree = Descriptor();
    }
    failed = "mount";
    return mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY | kFlags, nullptr) == 0;
}

// Whether the root folder is a mount of its own. In a chroot it is a folder
// of some mount outside, which the run can neither make private nor make
// read-only without reaching the machine's own mounts. Where the kernel
// cannot say, it is taken to be one: the calls that follow then decide.
bool rootIsAMount() {
    struct statx status{};
    if (statx(AT_FDCWD, "/", 0, STATX_BASIC_STATS, &status) != 0) return true;
    if (!(status.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT)) return true;
    return (status.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

// A network namespace of the run's own, with nothing in it; false when a call
// failed for another reason than a kernel without network namespaces.
bool leaveTheNetwork(const HelperIdentity& identity, int alsoUnshare) {
    if (unshare(CLONE_NEWNET | alsoUnshare) == 0) return true;
    if (errno != EINVAL) return refuse(identity, "the network", "unshare");
    if (alsoUnshare != 0 && unshare(alsoUnshare) != 0) return refuse(identity, "modes and owners", "unshare");
    NSLogEscaped("%s reaches the network unfenced: this kernel has no network namespaces", identity.name);
    return true;
}

// Everything read-only, without devices or set-id programs, but `folder`
// (at `path`), in mount and network namespaces of the run's own; /run, /tmp,
// /var/tmp and /dev emptied but for what `source` and the steps need.
bool fenceNamespaces(const HelperIdentity& identity, int folder, const std::string& path, const std::string& source) {
    if (!rootIsAMount()) {
        NSLogEscaped("%s changes modes and owners without a read-only view: its root folder is not a mount", identity.name);
        return leaveTheNetwork(identity, 0);
    }
    // The folder's own mount, cloned before everything is made read-only and
    // attached again on top, with whatever else is to stay visible.
    Descriptor tree(open_tree(folder, "", OPEN_TREE_CLOEXEC | OPEN_TREE_CLONE | AT_EMPTY_PATH | AT_RECURSIVE));
    if (!tree) {
        if (!kernelLacks(errno)) return refuse(identity, "modes and owners", "open_tree");
        NSLogEscaped("%s changes modes and owners unfenced: %s", identity.name, failure("open_tree").c_str());
        return true;
    }
    std::vector<KeptMount> kept;
    const char* failed = nullptr;
    for (const char* device : kDevices) {
        if (!keep(kept, device, true, failed)) return refuse(identity, "devices", failed);
    }
    if (!keep(kept, kJournalSocket, false, failed)) return refuse(identity, "sockets", failed);
    for (const char* emptied : kEmptiedFolders) {
        if (!source.empty() && isAtOrBelow(source, emptied) && !keep(kept, source, false, failed)) {
            return refuse(identity, "the payload's folder", failed);
        }
    }

    // Private first: nothing done here may reach the machine's own mounts.
    if (!leaveTheNetwork(identity, CLONE_NEWNS)) return false;
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return refuse(identity, "modes and owners", "mount");
    }
    mount_attr readOnly{};
    readOnly.attr_set = MOUNT_ATTR_RDONLY | MOUNT_ATTR_NODEV | MOUNT_ATTR_NOSUID;
    if (mount_setattr(AT_FDCWD, "/", AT_RECURSIVE, &readOnly, sizeof readOnly) != 0) {
        if (!kernelLacks(errno)) return refuse(identity, "modes and owners", "mount_setattr");
        NSLogEscaped("%s changes modes and owners unfenced: %s", identity.name, failure("mount_setattr").c_str());
        return true;
    }
    for (const char* emptied : kEmptiedFolders) {
        if (!emptyFolder(emptied, kept, failed)) return refuse(identity, "sockets and devices", failed);
    }
    mount_attr noDevices{};
    noDevices.attr_set = MOUNT_ATTR_NODEV | MOUNT_ATTR_NOSUID;
    if (mount_setattr(tree.get(), "", AT_EMPTY_PATH | AT_RECURSIVE, &noDevices, sizeof noDevices) != 0) {
        return refuse(identity, "modes and owners", "mount_setattr");
    }
    if (move_mount(tree.get(), "", AT_FDCWD, path.c_str(), MOVE_MOUNT_F_EMPTY_PATH | MOVE_MOUNT_T_SYMLINKS) != 0) {
        return refuse(identity, "modes and owners", "move_mount");
    }
    return true;
}

long landlock(long call, auto... arguments) { return syscall(call, arguments...); }

// Writes, creation and removal only below `folder`, and writes to /dev/null;
// no TCP at all; signals and abstract sockets only within the run.
bool fenceWrites(const HelperIdentity& identity, int folder) {
    const long abi = landlock(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 0 && !kernelLacks(errno)) return refuse(identity, "writes", "landlock_create_ruleset");
    if (abi < 1) {
        NSLogEscaped("%s writes unfenced: this kernel has no Landlock", identity.name);
        return true;
    }
    // Moving the copy into place renames it into another folder, which
    // Landlock allows from its second version on.
    if (abi < 2) {
        NSLogEscaped("%s writes unfenced: this kernel's Landlock cannot let a copy move into place", identity.name);
        return true;
    }
    RulesetAttributes attributes;
    attributes.handledAccessFs = LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR |
                                 LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR |
                                 LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG |
                                 LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO |
                                 LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM | LANDLOCK_ACCESS_FS_REFER;
    std::uint64_t fileWrites = LANDLOCK_ACCESS_FS_WRITE_FILE;
    std::size_t size = sizeof attributes.handledAccessFs;
    if (abi >= 3) {
        attributes.handledAccessFs |= kAccessTruncate;
        fileWrites |= kAccessTruncate;
    }
    // Where the kernel cannot fence TCP or scope signals and abstract
    // sockets, the network namespace still leaves the run no network and
    // no abstract socket outside it.
    if (abi >= 4) {
        attributes.handledAccessNet = kAccessBindTcp | kAccessConnectTcp;
        size = offsetof(RulesetAttributes, scoped);
    }
    if (abi >= 6) {
        attributes.scoped = kScopeAbstractSockets | kScopeSignals;
        size = sizeof attributes;
    }
    const Descriptor ruleset(landlock(SYS_landlock_create_ruleset, &attributes, size, 0));
    if (!ruleset) return refuse(identity, "writes", "landlock_create_ruleset");
    const Descriptor null(open("/dev/null", O_PATH | O_CLOEXEC));
    if (!null) return refuse(identity, "writes", "open");
    landlock_path_beneath_attr belowFolder{attributes.handledAccessFs, folder};
    landlock_path_beneath_attr toNull{fileWrites, null.get()};
    for (const landlock_path_beneath_attr* rule : {&belowFolder, &toNull}) {
        if (landlock(SYS_landlock_add_rule, ruleset.get(), LANDLOCK_RULE_PATH_BENEATH, rule, 0) != 0) {
            return refuse(identity, "writes", "landlock_add_rule");
        }
    }
    if (landlock(SYS_landlock_restrict_self, ruleset.get(), 0) != 0) {
        return refuse(identity, "writes", "landlock_restrict_self");
    }
    return true;
}

// What the steps use: changing owners, reading and writing whatever the
// modes say, changing modes of entries of others, keeping set-id bits in a
// copy until the copy is sealed.
constexpr std::initializer_list<int> kKeptCapabilities{CAP_CHOWN, CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER,
                                                       CAP_FSETID};

// Drops every other capability, for good and for every program started.
bool dropCapabilities(const HelperIdentity& identity) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct sets[2]{};
    if (syscall(SYS_capget, &header, sets) != 0) return refuse(identity, "capabilities", "capget");
    if (!(sets[0].effective & (1u << CAP_SETPCAP))) return true;  // nothing to drop
    std::uint64_t kept = 0;
    for (const int capability : kKeptCapabilities) kept |= std::uint64_t{1} << capability;
    for (int capability = 0; capability < 64; ++capability) {
        if (kept & (std::uint64_t{1} << capability)) continue;
        // Past the last capability this kernel knows: EINVAL.
        if (prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0 && errno != EINVAL) {
            return refuse(identity, "capabilities", "prctl");
        }
    }
    if (prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0) return refuse(identity, "capabilities", "prctl");
    for (int half = 0; half < 2; ++half) {
        const auto mask = static_cast<std::uint32_t>(kept >> (32 * half));
        sets[half].effective &= mask;
        sets[half].permitted &= mask;
        sets[half].inheritable = 0;
    }
    if (syscall(SYS_capset, &header, sets) != 0) return refuse(identity, "capabilities", "capset");
    return true;
}

} // namespace

bool fenceRun(const HelperIdentity& identity, const std::string& library, const std::string& folder,
              const std::string& source) {
    if (!makeFolders(library)) {
        const std::string why = failure("mkdir");
        NSLogEscaped("%s cannot make %s: %s; nothing was done", identity.name, library.c_str(), why.c_str());
        noteRunFailure(errno == EROFS ? "the Library folder is read-only" : "it could not make " + library + ": " + why);
        return false;
    }
    const std::string workFolder = deepestExistingFolder(folder);
    const Descriptor work(open(workFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!work) {
        const std::string why = failure("open");
        NSLogEscaped("%s cannot open %s: %s; nothing was done", identity.name, workFolder.c_str(), why.c_str());
        noteRunFailure("it could not open " + workFolder + ": " + why);
        return false;
    }
    if (!fenceNamespaces(identity, work.get(), workFolder, source)) return false;
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return refuse(identity, "privileges", "prctl");
    return fenceWrites(identity, work.get()) && dropCapabilities(identity);
}
