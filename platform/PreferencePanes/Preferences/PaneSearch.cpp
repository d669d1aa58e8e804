#include "PreferencePanes/Preferences/PaneSearch.h"

#include "Foundation/FileManager.h"

#include <algorithm>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace platform {
namespace {

bool isPaneBundle(const fs::path& path) {
    std::error_code error;
    return path.extension() == ".prefPane" && fs::is_directory(path, error);
}

std::vector<fs::path> panesIn(const fs::path& folder) {
    std::vector<fs::path> found;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (isPaneBundle(it->path())) found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

// Lists bundles once, by where they really lie.
class BundleList {
public:
    void add(const fs::path& bundle) {
        std::error_code error;
        const fs::path real = fs::canonical(bundle, error);
        if (seen_.insert(error ? bundle.lexically_normal().string() : real.string()).second) paths_.push_back(bundle.string());
    }
    std::vector<std::string> take() { return std::move(paths_); }

private:
    std::set<std::string> seen_;
    std::vector<std::string> paths_;
};

} // namespace

std::vector<std::string> standardPaneFolders() {
    const LibraryFolders libraries = FileManager::libraryFolders();
    std::vector<std::string> folders;
    for (const std::optional<std::string>& library : {libraries.user, libraries.local}) {
        if (library) folders.push_back((fs::path(*library) / "PreferencePanes").string());
    }
    return folders;
}

std::vector<std::string> findPaneBundles(const std::vector<std::string>& folders, const std::vector<std::string>& paths,
                                         std::vector<std::string>* problems) {
    BundleList list;
    for (const std::string& folder : folders) {
        for (const fs::path& pane : panesIn(folder)) list.add(pane);
    }
    for (const std::string& given : paths) {
        const fs::path path(given);
        std::error_code error;
        if (isPaneBundle(path)) {
            list.add(path);
        } else if (path.extension() != ".prefPane" && fs::is_directory(path, error)) {
            for (const fs::path& pane : panesIn(path)) list.add(pane);
        } else if (problems) {
            problems->push_back(given + " is neither a pane bundle (.prefPane) nor a folder of pane bundles");
        }
    }
    return list.take();
}

} // namespace platform
