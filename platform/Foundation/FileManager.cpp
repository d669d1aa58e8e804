#include "Foundation/FileManager.h"

#include "Foundation/SystemCall.h"
#include "Foundation/Array.h"
#include "Foundation/String.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <vector>

namespace platform {
namespace {

std::mutex overrideMutex;
std::optional<LibraryFolders> libraryFoldersOverride;

std::optional<std::string> effectiveUserHome() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        found->pw_dir == nullptr || found->pw_dir[0] == '\0') {
        return std::nullopt;
    }
    return std::string(found->pw_dir);
}

} // namespace

const Class FileManager::classRecord{"NSFileManager", &Object::classRecord};

FileManager::FileManager() { makeImmortal(); }

FileManager* FileManager::defaultManager() {
    static FileManager* const manager = new FileManager;
    return manager;
}

bool FileManager::fileExistsAtPath(const String* path) const {
    return path != nullptr && !path->text().empty() && !sys::stat(path->UTF8String()).isError();
}

LibraryFolders FileManager::libraryFolders(unsigned long domainMask) {
    {
        std::lock_guard lock(overrideMutex);
        if (libraryFoldersOverride) return *libraryFoldersOverride;
    }
    LibraryFolders folders{std::nullopt, "/Library", "/System/Library"};
    if ((domainMask & NSUserDomainMask) == 0) return folders;
    if (std::optional<std::string> home = effectiveUserHome()) {
        folders.user = (*home == "/" ? std::string() : *home) + "/Library";
    }
    return folders;
}

Ref<Array> FileManager::URLsForDirectory_inDomains(unsigned long directory, unsigned long domainMask) const {
    std::vector<Ref<Object>> paths;
    if (directory == NSLibraryDirectory) {
        const LibraryFolders folders = libraryFolders(domainMask);
        auto add = [&](unsigned long domain, const std::optional<std::string>& folder) {
            if ((domainMask & domain) && folder && !folder->empty()) paths.push_back(make<String>(*folder));
        };
        add(NSUserDomainMask, folders.user);
        add(NSLocalDomainMask, folders.local);
        add(NSSystemDomainMask, folders.system);
    }
    return make<Array>(std::move(paths));
}

LibraryFoldersOverride::LibraryFoldersOverride(LibraryFolders folders) {
    std::lock_guard lock(overrideMutex);
    previous_ = libraryFoldersOverride;
    libraryFoldersOverride = std::move(folders);
}

LibraryFoldersOverride::~LibraryFoldersOverride() {
    std::lock_guard lock(overrideMutex);
    libraryFoldersOverride = previous_;
}

} // namespace platform
