#include "PreferencePanes/Preferences/PreferencesOptions.h"

namespace platform {

PreferencesOptions parsePreferencesOptions(const std::vector<std::string>& arguments) {
    PreferencesOptions options;
    bool onlyPaths = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (onlyPaths || argument.empty() || argument[0] != '-') {
            options.paths.push_back(argument);
        } else if (argument == "--") {
            onlyPaths = true;
        } else if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--select" || argument == "--screenshot") {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                options.error = argument + " needs a value";
                return options;
            }
            (argument == "--select" ? options.select : options.screenshot) = arguments[++i];
        } else {
            options.error = "unknown option " + argument;
            return options;
        }
    }
    return options;
}

std::string preferencesUsage(std::string_view program) {
    const std::string name(program.empty() ? "Preferences" : program);
    return "Usage: " + name + " [--select NAME] [--screenshot FILE] [PANE.prefPane | FOLDER]...\n"
           "\n"
           "Lists the preference panes in ~/Library/PreferencePanes, /Library/PreferencePanes\n"
           "and the paths given (pane bundles, or folders that hold them), and shows the one\n"
           "selected in the list.\n"
           "\n"
           "  --select NAME      select the pane named NAME (its CFBundleName) at start\n"
           "  --screenshot FILE  once the selected pane is shown, save a PNG picture of the\n"
           "                     window to FILE and quit; the exit status is 1 when the\n"
           "                     selected pane cannot be loaded\n"
           "  -h, --help         show this text and quit\n"
           "  --version          show the version and quit\n";
}

} // namespace platform
