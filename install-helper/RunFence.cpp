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

namespace sys = platform::sys;
using platform::Descriptor;
using platform::ErrorOr;
using platform::Failure;
using platform::NSLogEscaped;

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

bool refuse(const HelperIdentity& identity, const char* fence, const Failure& failure) {
    const std::string why = failure.describe();
    NSLogEscaped("%s cannot fence %s: %s; nothing was done", identity.name, fence, why.c_str());
    noteRunFailure(std::string("it could not confine itself (") + fence + "): " + why);
    return false;
}

// Whether `done` succeeded; when not, the run is refused, naming `fence`.
bool fenced(const HelperIdentity& identity, const char* fence, const ErrorOr<void>& done) {
    return !done.isError() || refuse(identity, fence, done.error());
}

// A kernel without the calls that make the read-only view: the run goes on
// without it, and says so. Any other failure is a reason not to act.
bool goOnUnfencedIfTheKernelLacks(const HelperIdentity& identity, const Failure& failure) {
    if (!kernelLacks(failure.code())) return refuse(identity, "modes and owners", failure);
    NSLogEscaped("%s changes modes and owners unfenced: %s", identity.name, failure.describe().c_str());
    return true;
}

// Makes the folders of `path` that are missing, mode 755.
ErrorOr<void> makeFolders(const std::string& path) {
    for (std::size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
        TRY(sys::mkdirUnlessThere(path.substr(0, at).c_str(), 0755));
        if (at == std::string::npos) return {};
    }
}

// The deepest folder at or above `folder` that exists, every link resolved.
std::string deepestExistingFolder(std::string folder) {
    while (!folder.empty()) {
        const std::optional<std::string> resolved = sys::resolvedPath(folder);
        if (resolved) {
            const ErrorOr<struct stat> status = sys::stat(resolved->c_str());
            if (!status.isError() && S_ISDIR(status.value().st_mode)) return *resolved;
        }
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

// Clones what is at `path`; an absent path keeps nothing.
ErrorOr<void> keep(std::vector<KeptMount>& kept, const std::string& path, bool device) {
    ErrorOr<Descriptor> tree = sys::open_tree(AT_FDCWD, path.c_str(), OPEN_TREE_CLOEXEC | OPEN_TREE_CLONE | AT_RECURSIVE);
    if (tree.isError()) {
        if (tree.error().code() == ENOENT) return {};
        return tree.releaseError();
    }
    mount_attr attributes{};
    attributes.attr_set = device ? MOUNT_ATTR_RDONLY : MOUNT_ATTR_RDONLY | MOUNT_ATTR_NODEV | MOUNT_ATTR_NOSUID;
    TRY(sys::mount_setattr(tree.value().get(), "", AT_EMPTY_PATH | AT_RECURSIVE, attributes));
    kept.push_back({path, tree.releaseValue()});
    return {};
}

// A place in the empty folder to show `mount` at: its folders, and a folder
// or an empty file as the kept mount is one.
ErrorOr<void> makeMountPoint(const std::string& folder, const KeptMount& mount) {
    for (std::size_t at = mount.path.find('/', folder.size() + 1); at != std::string::npos;
         at = mount.path.find('/', at + 1)) {
        TRY(sys::mkdirUnlessThere(mount.path.substr(0, at).c_str(), 0755));
    }
    const struct stat status = TRY(sys::fstat(mount.tree.get()));
    if (S_ISDIR(status.st_mode)) return sys::mkdirUnlessThere(mount.path.c_str(), 0755);
    TRY(sys::open(mount.path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    return {};
}

// An empty read-only folder over `folder`, showing only what `kept` holds
// below it.
ErrorOr<void> emptyFolder(const std::string& folder, std::vector<KeptMount>& kept) {
    const ErrorOr<struct stat> status = sys::lstat(folder.c_str());
    if (status.isError() || !S_ISDIR(status.value().st_mode)) return {};
    constexpr unsigned long kFlags = MS_NOSUID | MS_NODEV | MS_NOEXEC;
    TRY(sys::mount("privet-fence", folder.c_str(), "tmpfs", kFlags, "mode=0755,size=64k"));
    for (KeptMount& each : kept) {
        if (!each.tree || !isAtOrBelow(each.path, folder) || each.path == folder) continue;
        TRY(makeMountPoint(folder, each));
        TRY(sys::move_mount(each.tree.get(), "", AT_FDCWD, each.path.c_str(), MOVE_MOUNT_F_EMPTY_PATH));
        each.tree = Descriptor();
    }
    return sys::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY | kFlags, nullptr);
}

// Whether the root folder is a mount of its own. In a chroot it is a folder
// of some mount outside, which the run can neither make private nor make
// read-only without reaching the machine's own mounts. Where the kernel
// cannot say, it is taken to be one: the calls that follow then decide.
bool rootIsAMount() {
    const ErrorOr<struct statx> status = sys::statx(AT_FDCWD, "/", 0, STATX_BASIC_STATS);
    if (status.isError() || !(status.value().stx_attributes_mask & STATX_ATTR_MOUNT_ROOT)) return true;
    return (status.value().stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

// A network namespace of the run's own, with nothing in it; false when a call
// failed for another reason than a kernel without network namespaces.
bool leaveTheNetwork(const HelperIdentity& identity, int alsoUnshare) {
    const ErrorOr<void> left = sys::unshare(CLONE_NEWNET | alsoUnshare);
    if (!left.isError()) return true;
    if (left.error().code() != EINVAL) return refuse(identity, "the network", left.error());
    if (alsoUnshare != 0 && !fenced(identity, "modes and owners", sys::unshare(alsoUnshare))) return false;
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
    ErrorOr<Descriptor> cloned =
        sys::open_tree(folder, "", OPEN_TREE_CLOEXEC | OPEN_TREE_CLONE | AT_EMPTY_PATH | AT_RECURSIVE);
    if (cloned.isError()) return goOnUnfencedIfTheKernelLacks(identity, cloned.error());
    const Descriptor tree = cloned.releaseValue();
    std::vector<KeptMount> kept;
    for (const char* device : kDevices) {
        if (!fenced(identity, "devices", keep(kept, device, true))) return false;
    }
    if (!fenced(identity, "sockets", keep(kept, kJournalSocket, false))) return false;
    for (const char* emptied : kEmptiedFolders) {
        if (source.empty() || !isAtOrBelow(source, emptied)) continue;
        if (!fenced(identity, "the payload's folder", keep(kept, source, false))) return false;
    }

    // Private first: nothing done here may reach the machine's own mounts.
    if (!leaveTheNetwork(identity, CLONE_NEWNS)) return false;
    if (!fenced(identity, "modes and owners", sys::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr))) {
        return false;
    }
    mount_attr readOnly{};
    readOnly.attr_set = MOUNT_ATTR_RDONLY | MOUNT_ATTR_NODEV | MOUNT_ATTR_NOSUID;
    if (ErrorOr<void> made = sys::mount_setattr(AT_FDCWD, "/", AT_RECURSIVE, readOnly); made.isError()) {
        return goOnUnfencedIfTheKernelLacks(identity, made.error());
    }
    for (const char* emptied : kEmptiedFolders) {
        if (!fenced(identity, "sockets and devices", emptyFolder(emptied, kept))) return false;
    }
    mount_attr noDevices{};
    noDevices.attr_set = MOUNT_ATTR_NODEV | MOUNT_ATTR_NOSUID;
    ErrorOr<void> shown = sys::mount_setattr(tree.get(), "", AT_EMPTY_PATH | AT_RECURSIVE, noDevices);
    if (!shown.isError()) {
        shown = sys::move_mount(tree.get(), "", AT_FDCWD, path.c_str(), MOVE_MOUNT_F_EMPTY_PATH | MOVE_MOUNT_T_SYMLINKS);
    }
    return fenced(identity, "modes and owners", shown);
}

// Writes, creation and removal only below `folder`, and writes to /dev/null;
// no TCP at all; signals and abstract sockets only within the run.
bool fenceWrites(const HelperIdentity& identity, int folder) {
    const ErrorOr<long> version = sys::syscall("landlock_create_ruleset", SYS_landlock_create_ruleset, nullptr, 0,
                                               LANDLOCK_CREATE_RULESET_VERSION);
    if (version.isError() && !kernelLacks(version.error().code())) return refuse(identity, "writes", version.error());
    const long abi = version.isError() ? 0 : version.value();
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
    const ErrorOr<void> confined = [&]() -> ErrorOr<void> {
        const Descriptor ruleset(
            TRY(sys::syscall("landlock_create_ruleset", SYS_landlock_create_ruleset, &attributes, size, 0)));
        const Descriptor null = TRY(sys::open("/dev/null", O_PATH | O_CLOEXEC));
        landlock_path_beneath_attr belowFolder{attributes.handledAccessFs, folder};
        landlock_path_beneath_attr toNull{fileWrites, null.get()};
        for (const landlock_path_beneath_attr* rule : {&belowFolder, &toNull}) {
            TRY(sys::syscall("landlock_add_rule", SYS_landlock_add_rule, ruleset.get(), LANDLOCK_RULE_PATH_BENEATH,
                             rule, 0));
        }
        TRY(sys::syscall("landlock_restrict_self", SYS_landlock_restrict_self, ruleset.get(), 0));
        return {};
    }();
    return fenced(identity, "writes", confined);
}

// What the steps use: changing owners, reading and writing whatever the
// modes say, changing modes of entries of others, keeping set-id bits in a
// copy until the copy is sealed.
constexpr std::initializer_list<int> kKeptCapabilities{CAP_CHOWN, CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER,
                                                       CAP_FSETID};

// Drops every other capability, for good and for every program started.
ErrorOr<void> dropCapabilities() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct sets[2]{};
    TRY(sys::syscall("capget", SYS_capget, &header, sets));
    if (!(sets[0].effective & (1u << CAP_SETPCAP))) return {};  // nothing to drop
    std::uint64_t kept = 0;
    for (const int capability : kKeptCapabilities) kept |= std::uint64_t{1} << capability;
    for (int capability = 0; capability < 64; ++capability) {
        if (kept & (std::uint64_t{1} << capability)) continue;
        // Past the last capability this kernel knows: EINVAL.
        const ErrorOr<void> dropped = sys::prctl(PR_CAPBSET_DROP, capability);
        if (dropped.isError() && dropped.error().code() != EINVAL) return dropped.error();
    }
    TRY(sys::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL));
    for (int half = 0; half < 2; ++half) {
        const auto mask = static_cast<std::uint32_t>(kept >> (32 * half));
        sets[half].effective &= mask;
        sets[half].permitted &= mask;
        sets[half].inheritable = 0;
    }
    TRY(sys::syscall("capset", SYS_capset, &header, sets));
    return {};
}

} // namespace

bool fenceRun(const HelperIdentity& identity, const std::string& library, const std::string& folder,
              const std::string& source) {
    if (const ErrorOr<void> made = makeFolders(library); made.isError()) {
        const std::string why = made.error().describe();
        NSLogEscaped("%s cannot make %s: %s; nothing was done", identity.name, library.c_str(), why.c_str());
        noteRunFailure(made.error().code() == EROFS ? "the Library folder is read-only"
                                                    : "it could not make " + library + ": " + why);
        return false;
    }
    const std::string workFolder = deepestExistingFolder(folder);
    ErrorOr<Descriptor> opened = sys::open(workFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (opened.isError()) {
        const std::string why = opened.error().describe();
        NSLogEscaped("%s cannot open %s: %s; nothing was done", identity.name, workFolder.c_str(), why.c_str());
        noteRunFailure("it could not open " + workFolder + ": " + why);
        return false;
    }
    const Descriptor work = opened.releaseValue();
    if (!fenceNamespaces(identity, work.get(), workFolder, source)) return false;
    return fenced(identity, "privileges", sys::prctl(PR_SET_NO_NEW_PRIVS, 1)) && fenceWrites(identity, work.get()) &&
           fenced(identity, "capabilities", dropCapabilities());
}
