#include "Security/RootProcess.h"

#include "Foundation/ProcessStart.h"
#include "Foundation/SystemCall.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace platform {

namespace {

// Root's usual limits: no bound on file size, processor time, memory or
// processes; no core dumps (they would hold what root read); descriptors
// enough for the fence and the steps; the usual stack.
void resetLimits() {
    constexpr rlim_t kStack = 8 * 1024 * 1024;
    constexpr rlim_t kDescriptors = 1024;
    const std::pair<int, rlimit> limits[] = {
        {RLIMIT_FSIZE, {RLIM_INFINITY, RLIM_INFINITY}}, {RLIMIT_CPU, {RLIM_INFINITY, RLIM_INFINITY}},
        {RLIMIT_AS, {RLIM_INFINITY, RLIM_INFINITY}},    {RLIMIT_DATA, {RLIM_INFINITY, RLIM_INFINITY}},
        {RLIMIT_RSS, {RLIM_INFINITY, RLIM_INFINITY}},   {RLIMIT_NPROC, {RLIM_INFINITY, RLIM_INFINITY}},
        {RLIMIT_CORE, {0, 0}},
    };
    for (const auto& [resource, limit] : limits) (void)sys::setrlimit(resource, limit);
    // At least `least`, soft and hard; a higher hard limit is kept.
    const auto atLeast = [](int resource, rlim_t least) {
        const ErrorOr<rlimit> now = sys::getrlimit(resource);
        if (now.isError() || (now.value().rlim_cur >= least && now.value().rlim_max >= least)) return;
        (void)sys::setrlimit(resource, {least, std::max(least, now.value().rlim_max)});
    };
    atLeast(RLIMIT_STACK, kStack);
    atLeast(RLIMIT_NOFILE, kDescriptors);
}

// A fixed environment. A sanitizer build keeps its own options, so that its
// checks stay as the test run asked.
void resetEnvironment() {
    std::vector<std::pair<std::string, std::string>> kept;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS", "LSAN_OPTIONS"}) {
        if (const char* value = std::getenv(name)) kept.emplace_back(name, value);
    }
#endif
    clearenv();
    setenv("PATH", kRootSearchPath, 1);
    setenv("LANG", "C.UTF-8", 1);
    for (const auto& [name, value] : kept) setenv(name.c_str(), value.c_str(), 1);
}

} // namespace

void takeOverRootProcess() {
    resetSignals();
    resetLimits();
    setpriority(PRIO_PROCESS, 0, 0);
    resetEnvironment();
}

} // namespace platform
