#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The command line of the preferences application.
struct PreferencesOptions {
    bool help = false;
    std::string select;      // --select NAME: the pane to show at start
    std::string screenshot;  // --screenshot FILE: save a PNG once the pane is shown, then quit
    std::vector<std::string> paths;
    std::string error;  // set when the command line cannot be used
};

// Reads the arguments that follow the program name.
PreferencesOptions parsePreferencesOptions(const std::vector<std::string>& arguments);

std::string preferencesUsage(std::string_view program);

} // namespace platform
