#include "LaunchPolicy.h"

#include "PrivetTool/PrivetToolConst.h"

#include "Foundation/RootOnlyPath.h"
#include "Foundation/SystemCall.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cstdint>

namespace {

std::string_view lastComponent(std::string_view path) { return path.substr(path.rfind('/') + 1); }

bool isHelperName(std::string_view name) { return name == "KestrelInstallHelper" || name == "OspreyInstallHelper"; }

using platform::ErrorOr;
using platform::Failure;

ErrorOr<void> checkArguments(const platform::launcher::Request& request) {
    const std::vector<std::string>& arguments = request.arguments;
    if (arguments.size() != 5) return Failure::refusal("it does not have the privileged run's five arguments");
    if (arguments[0] != request.path) return Failure::refusal("its first argument is not the program's own path");
    if (arguments[1] != "--self-repair") return Failure::refusal("its second argument is not \"--self-repair\"");
    if (arguments[2] != kPrivetTool_Command_Install->text() && arguments[2] != kPrivetTool_Command_Delete->text()) {
        return Failure::refusal("its command is neither \"install\" nor \"delete\"");
    }
    const platform::Ref<platform::String> location = platform::String::stringWithUTF8String(arguments[3].c_str());
    if (!location || !PrivetTool::locationPathWithLocationName(location.get())) {
        return Failure::refusal("its location name is unknown");
    }
    if (!arguments[4].starts_with('/')) return Failure::refusal("its source path is not absolute");
    return {};
}

// The mount a path lies on, or its device where the kernel cannot tell.
// (On an overlay a file and its folder may show different devices, but
// they share one mount.)
std::optional<std::uint64_t> mountOf(const std::string& path) {
    const platform::ErrorOr<struct statx> examined = platform::sys::statx(AT_FDCWD, path.c_str(), 0, STATX_MNT_ID);
    if (examined.isError()) return std::nullopt;
    const struct statx& status = examined.value();
    if (status.stx_mask & STATX_MNT_ID) return status.stx_mnt_id;
    return (std::uint64_t{status.stx_dev_major} << 32) | status.stx_dev_minor;
}

// Whether `executable` is PRODUCT/BUNDLE/Contents/Helpers/NAME, both resolved.
bool isInAProductBundle(const std::string& executable, const std::string& product) {
    const std::string_view helpers = "/Contents/Helpers/";
    if (!executable.starts_with(product + "/")) return false;
    const std::string_view rest = std::string_view(executable).substr(product.size() + 1);
    const std::size_t bundleEnd = rest.find('/');
    if (bundleEnd == std::string_view::npos) return false;
    const std::string_view bundle = rest.substr(0, bundleEnd);
    const std::string_view below = rest.substr(bundleEnd);
    return (bundle.ends_with(".prefPane") || bundle.ends_with(".app")) && below.starts_with(helpers) &&
           isHelperName(below.substr(helpers.size()));
}

} // namespace

ErrorOr<std::string> judgeLaunchRequest(const platform::launcher::Request& request, const std::string& product) {
    if (!isHelperName(lastComponent(request.path))) return Failure::refusal("it is not an install helper");
    TRY(checkArguments(request));

    // Whether it cannot be resolved or resolves elsewhere is not told apart:
    // the answer would tell the caller what folders it may not read hold.
    const std::optional<std::string> resolved = platform::sys::resolvedPath(request.path);
    const std::optional<std::string> productFolder = platform::sys::resolvedPath(product);
    if (!resolved || !productFolder || !isInAProductBundle(*resolved, *productFolder)) {
        return Failure::refusal("it is not one of the product's own helpers");
    }
    const std::string& executable = *resolved;
    const platform::ErrorOr<struct stat> status = platform::sys::stat(executable.c_str());
    if (status.isError() || !S_ISREG(status.value().st_mode) || !(status.value().st_mode & S_IXUSR)) {
        return Failure::refusal("it is not an executable file");
    }
    const std::optional<std::uint64_t> helperMount = mountOf(executable);
    if (!helperMount || helperMount != mountOf(*productFolder)) {
        return Failure::refusal("it does not lie on the product's file system");
    }
    const platform::ErrorOr<struct statvfs> mount = platform::sys::statvfs(executable.c_str());
    if (mount.isError() || (mount.value().f_flag & ST_NOSUID)) {
        return Failure::refusal("it lies on a file system mounted nosuid");
    }
    if (platform::onlyRootCanChange(executable).isError()) {
        return Failure::refusal("it, or a folder above it, can be changed by others than root");
    }
    return executable;
}
