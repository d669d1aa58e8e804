#include "WithRequirements/RequiredFileName.h"

#include <cstring>

extern "C" {

const char kPathSlashCharacter = '/';

const char* __CFConstStaticJustFileNameASCII(const char* path, size_t size) {
    if (path == nullptr) return nullptr;
    for (const char* position = path + size; position > path; --position) {
        if (position[-1] == kPathSlashCharacter) return position;
    }
    return path;
}

const char* __CFConstStaticJustFileNameUTF8(const char* path) {
    if (path == nullptr) return nullptr;
    const char* slash = std::strrchr(path, kPathSlashCharacter);
    return slash ? slash + 1 : path;
}

} // extern "C"
