#include "PrivilegedRunChecks.h"

#include "Foundation/SystemCall.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;
using platform::ErrorOr;
using platform::Failure;

namespace {

std::vector<std::string> componentsOf(const std::string& path) {
    std::vector<std::string> components;
    std::size_t at = 0;
    while (at < path.size()) {
        const std::size_t end = std::min(path.find('/', at), path.size());
        if (end > at) components.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    return components;
}

bool isSpecial(fs::file_type type) {
    return type == fs::file_type::block || type == fs::file_type::character || type == fs::file_type::fifo ||
           type == fs::file_type::socket;
}

} // namespace

std::string ownBundlePath() {
    const fs::path executable = platform::sys::resolvedPath("/proc/self/exe").value_or("");
    const fs::path folder = executable.parent_path();
    if (folder.parent_path().filename() == "Contents") return folder.parent_path().parent_path().string();
    return folder.string();
}

ErrorOr<std::optional<std::string>> placeOfSource(const std::string& source, const std::string& bundle) {
    if (source.empty() || source.front() != '/') return Failure::refusal("it is not an absolute path");
    std::vector<std::string> components = componentsOf(source);
    for (const std::string& component : components) {
        if (component == "." || component == "..") return Failure::refusal("it has a \".\" or \"..\" component");
    }
    if (components.empty()) return Failure::refusal("it names no entry of its own");

    // The folders on the way resolved, so that no link inside the bundle can
    // lead out of it; the entry itself is looked at, not followed.
    const std::string outside = "it lies outside the helper's bundle " + bundle;
    const std::optional<std::string> realBundle = platform::sys::resolvedPath(bundle);
    if (!realBundle) return Failure::refusal(outside);
    const std::string name = components.back();
    components.pop_back();
    std::string folder;
    for (const std::string& component : components) folder += "/" + component;
    const std::optional<std::string> realFolder = platform::sys::resolvedPath(folder.empty() ? "/" : folder);
    if (!realFolder) {
        if ((folder + "/").starts_with(*realBundle + "/")) return std::optional<std::string>();
        return Failure::refusal(outside);
    }
    const std::string path = (*realFolder == "/" ? "" : *realFolder) + "/" + name;
    if (!path.starts_with(*realBundle + "/")) return Failure::refusal(outside);
    return std::optional<std::string>(path);
}

ErrorOr<std::string> judgeSource(const std::string& source, const std::string& bundle) {
    const std::optional<std::string> place = TRY(placeOfSource(source, bundle));
    if (!place) return Failure::refusal("it does not exist");
    const std::string& path = *place;

    const platform::ErrorOr<struct stat> examined = platform::sys::lstat(path.c_str());
    if (examined.isError()) {
        return Failure::refusal("it cannot be examined: " + std::string(std::strerror(examined.error().code())));
    }
    const struct stat& status = examined.value();
    if (S_ISLNK(status.st_mode)) return Failure::refusal("it is a symbolic link");
    if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode)) {
        return Failure::refusal("it is neither a plain file nor a folder");
    }
    if (std::optional<std::string> special = firstSpecialEntry(path)) {
        return Failure::refusal("it holds a device node, FIFO or socket, or a folder that cannot be read: " + *special);
    }
    return path;
}

std::optional<std::string> firstSpecialEntry(const std::string& path) {
    std::error_code error;
    if (isSpecial(fs::symlink_status(path, error).type())) return path;
    if (!fs::is_directory(fs::symlink_status(path, error))) return std::nullopt;
    fs::recursive_directory_iterator entries(path, error), end;
    for (; !error && entries != end; entries.increment(error)) {
        if (isSpecial(entries->symlink_status(error).type())) return entries->path().string();
    }
    if (error) return path + " (" + error.message() + ")";
    return std::nullopt;
}
