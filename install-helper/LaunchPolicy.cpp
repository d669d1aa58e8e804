#include "LaunchPolicy.h"

#include "PrivetTool/PrivetToolConst.h"

#include "Foundation/RootOnlyPath.h"
#include "Foundation/SystemCall.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace {

bool isHelperName(std::string_view path) {
    const std::string_view name = path.substr(path.rfind('/') + 1);
    return name == "KestrelInstallHelper" || name == "OspreyInstallHelper";
}

std::string whyArgumentsAreRefused(const platform::launcher::Request& request) {
    const std::vector<std::string>& arguments = request.arguments;
    if (arguments.size() != 5) return "it does not have the privileged run's five arguments";
    if (arguments[0] != request.path) return "its first argument is not the program's own path";
    if (arguments[1] != "--self-repair") return "its second argument is not \"--self-repair\"";
    if (arguments[2] != kPrivetTool_Command_Install->text() && arguments[2] != kPrivetTool_Command_Delete->text()) {
        return "its command is neither \"install\" nor \"delete\"";
    }
    const platform::Ref<platform::String> location = platform::String::stringWithUTF8String(arguments[3].c_str());
    if (!location || !PrivetTool::locationPathWithLocationName(location.get())) return "its location name is unknown";
    if (!arguments[4].starts_with('/')) return "its source path is not absolute";
    return {};
}

} // namespace

LaunchVerdict judgeLaunchRequest(const platform::launcher::Request& request) {
    if (!isHelperName(request.path)) return {{}, "it is not an install helper"};
    if (std::string why = whyArgumentsAreRefused(request); !why.empty()) return {{}, why};

    const std::optional<std::string> resolved = platform::sys::resolvedPath(request.path);
    if (!resolved) return {{}, "it cannot be resolved: " + std::string(std::strerror(errno))};
    const std::string& executable = *resolved;
    if (!isHelperName(executable)) return {{}, "it leads to " + executable + ", which is not an install helper"};
    struct stat status{};
    if (stat(executable.c_str(), &status) != 0 || !S_ISREG(status.st_mode) || !(status.st_mode & S_IXUSR)) {
        return {{}, "it is not an executable file"};
    }
    if (std::optional<std::string> why = platform::whyOthersThanRootCanChange(executable)) return {{}, *why};
    return {executable, {}};
}
