#include "Security/DetachedStart.h"

#include "Foundation/Descriptor.h"
#include "Foundation/ProcessStart.h"
#include "Foundation/SystemCall.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

ErrorOr<void> startDetached(const std::string& path, const std::vector<std::string>& arguments) {
    ProcessStart start{.path = path, .arguments = {path}, .newSession = true};
    start.arguments.insert(start.arguments.end(), arguments.begin(), arguments.end());
    const Descriptor null = TRY(sys::open("/dev/null", O_RDWR | O_CLOEXEC));
    start.standardInput = start.standardOutput = null.get();
    return startDetachedProcess(start);
}

} // namespace platform
