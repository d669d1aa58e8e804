#include "PreferencePanes/Preferences/ShownPaneMemory.h"

#include "Foundation/Log.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace platform {

namespace fs = std::filesystem;

ShownPaneMemory::ShownPaneMemory(std::string file) : file_(std::move(file)) {}

std::string ShownPaneMemory::standardFile() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') return std::string(state) + "/privet/preferences-shown-pane";
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/state/privet/preferences-shown-pane";
    return {};
}

std::string ShownPaneMemory::leftByLastRun() const {
    if (file_.empty()) return {};
    std::ifstream in(file_);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void ShownPaneMemory::note(const std::string& panePath) {
    if (file_.empty()) return;
    std::error_code ignored;
    fs::create_directories(fs::path(file_).parent_path(), ignored);
    // Whole or not at all: a crash while it is written leaves the last note.
    const std::string next = file_ + ".new";
    {
        std::ofstream out(next, std::ios::trunc);
        out << panePath;
        if (!out.flush()) {
            NSLogText("Preferences cannot note the pane it shows in " + next, LogPriority::Error);
            return;
        }
    }
    fs::rename(next, file_, ignored);
}

void ShownPaneMemory::forget() {
    if (file_.empty()) return;
    std::error_code ignored;
    fs::remove(file_, ignored);
}

} // namespace platform
