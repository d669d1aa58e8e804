#pragma once

#include "objc/Object.h"

#include <optional>
#include <string>

namespace platform {

class Array;
class String;

// Directory kinds and search-path domains, with the platform's values.
enum : unsigned long { NSLibraryDirectory = 5 };
enum : unsigned long {
    NSUserDomainMask = 1,
    NSLocalDomainMask = 2,
    NSNetworkDomainMask = 4,
    NSSystemDomainMask = 8,
    NSAllDomainsMask = 0x0ffff,
};

// Where the Library folder of each domain lies. An empty entry means the
// domain has no Library folder that can be named.
struct LibraryFolders {
    std::optional<std::string> user;    // the effective user's home + /Library
    std::optional<std::string> local;   // /Library
    std::optional<std::string> system;  // /System/Library
};

class FileManager final : public Object {
public:
    PLATFORM_CLASS_RECORD  // "NSFileManager"

    static FileManager* defaultManager();

    // True when something exists at the path; a symbolic link counts by its target.
    bool fileExistsAtPath(const String* path) const;

    // The folders of a directory kind in the given domains, in the order
    // user, local, network, system. File-system paths stand in for file URLs.
    Ref<Array> URLsForDirectory_inDomains(unsigned long directory, unsigned long domainMask) const;

    // The Library folders this process uses: the real ones, unless a test
    // has put others in place. The user's home is looked up (in the user
    // database) only when `domainMask` asks for the user domain.
    static LibraryFolders libraryFolders(unsigned long domainMask = NSAllDomainsMask);

private:
    FileManager();
};

// For tests: while it lives, the three Library folders are the given ones.
class LibraryFoldersOverride {
public:
    explicit LibraryFoldersOverride(LibraryFolders folders);
    ~LibraryFoldersOverride();
    LibraryFoldersOverride(const LibraryFoldersOverride&) = delete;
    LibraryFoldersOverride& operator=(const LibraryFoldersOverride&) = delete;

private:
    std::optional<LibraryFolders> previous_;
};

} // namespace platform
