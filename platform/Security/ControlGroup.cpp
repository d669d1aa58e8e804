#include "Security/ControlGroup.h"

#include "Foundation/Descriptor.h"
#include "Foundation/RootOnlyPath.h"
#include "Foundation/SystemCall.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

namespace platform {

namespace {

constexpr std::chrono::seconds kBusPatience{10};
// The system manager moves a scope's processes once the job to start it runs.
constexpr std::chrono::seconds kMovePatience{5};

// A path field of mountinfo, its blanks and backslashes written as \ooo.
std::string unescapedMountPath(const std::string& field) {
    std::string path;
    for (std::size_t at = 0; at < field.size(); ++at) {
        const bool octal = at + 3 < field.size() && field.find_first_not_of("01234567", at + 1) >= at + 4;
        if (field[at] == '\\' && octal) {
            path += static_cast<char>(std::stoi(field.substr(at + 1, 3), nullptr, 8));
            at += 3;
        } else {
            path += field[at];
        }
    }
    return path;
}

bool endsWithGroup(const std::string& group, const std::string& name) {
    return group.size() > name.size() && group.ends_with("/" + name);
}

bool waitForMoveInto(const std::string& name, std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        if (const std::optional<std::string> group = ownControlGroup(); group && endsWithGroup(*group, name)) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

struct BusCloser {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};

// Asks the system manager for the transient scope `unitName` holding this
// process; returns once the move shows.
ErrorOr<void> startScope(const std::string& unitName) {
    sd_bus* opened = nullptr;
    if (const int r = sd_bus_open_system(&opened); r < 0) return Failure::ofCall("sd_bus_open_system", -r);
    const std::unique_ptr<sd_bus, BusCloser> bus(opened);
    sd_bus_message* made = nullptr;
    int r = sd_bus_message_new_method_call(bus.get(), &made, "org.freedesktop.systemd1", "/org/freedesktop/systemd1",
                                           "org.freedesktop.systemd1.Manager", "StartTransientUnit");
    if (r < 0) return Failure::ofCall("sd_bus_message_new_method_call", -r);
    const std::unique_ptr<sd_bus_message, MessageUnref> call(made);
    r = sd_bus_message_append(call.get(), "ssa(sv)a(sa(sv))", unitName.c_str(), "fail", 3,  //
                              "Slice", "s", "system.slice",                                 //
                              "CollectMode", "s", "inactive-or-failed",                     //
                              "PIDs", "au", 1, static_cast<std::uint32_t>(getpid()),        //
                              0);
    if (r < 0) return Failure::ofCall("sd_bus_message_append", -r);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    r = sd_bus_call(bus.get(), call.get(), std::chrono::microseconds(kBusPatience).count(), &error, &reply);
    ErrorOr<void> started;
    if (r < 0) {
        started = error.message ? Failure::refusal(std::string("StartTransientUnit: ") + error.message)
                                : Failure::ofCall("StartTransientUnit", -r);
    }
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    TRY(started);
    if (!waitForMoveInto(unitName, kMovePatience)) {
        return Failure::refusal("the system manager did not move it into " + unitName);
    }
    return {};
}

// Joins the group `groupName` at the top of `hierarchy`; returns once the
// move shows.
ErrorOr<void> joinOwnGroup(const std::string& hierarchy, const std::string& groupName) {
    const std::string group = hierarchy + "/" + groupName;
    TRY(sys::mkdirUnlessThere(group.c_str(), 0755));
    TRY(onlyRootCanChange(group));
    // A group handed to someone else has its files given to them too.
    for (const char* file : {"cgroup.procs", "cgroup.freeze", "cgroup.kill"}) {
        const ErrorOr<struct stat> status = sys::lstat((group + "/" + file).c_str());
        if (!status.isError() && (status.value().st_uid != 0 || (status.value().st_mode & 022))) {
            return Failure::refusal(group + "/" + file + " may be written by others than root");
        }
    }
    const Descriptor procs = TRY(sys::open((group + "/cgroup.procs").c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
    TRY(sys::writeAll(procs.get(), "0"));
    if (!waitForMoveInto(groupName, std::chrono::milliseconds(0))) {
        return Failure::refusal("the move into " + group + " does not show");
    }
    return {};
}

} // namespace

std::optional<std::string> controlGroupHierarchy() {
    std::ifstream mounts("/proc/self/mountinfo");
    std::optional<std::string> found;
    for (std::string line; std::getline(mounts, line);) {
        const std::size_t separator = line.find(" - ");
        if (separator == std::string::npos || line.compare(separator + 3, 8, "cgroup2 ") != 0) continue;
        std::istringstream fields(line.substr(0, separator));
        std::string field;
        for (int index = 0; index < 5 && fields >> field; ++index) {
        }
        // The last such mount is the one on top.
        found = unescapedMountPath(field);
    }
    return found;
}

std::optional<std::string> ownControlGroup() {
    std::ifstream groups("/proc/self/cgroup");
    for (std::string line; std::getline(groups, line);) {
        if (line.starts_with("0::")) return line.substr(3);
    }
    return std::nullopt;
}

ControlGroupMove leaveCallersControlGroup(const std::string& unitName, const std::string& groupName) {
    std::string whySystemd;
    if (sd_booted() > 0) {
        const ErrorOr<void> started = startScope(unitName);
        if (!started.isError()) return {ControlGroupMove::Road::SystemUnit, {}};
        whySystemd = started.error().describe();
    }
    const std::optional<std::string> hierarchy = controlGroupHierarchy();
    if (!hierarchy) {
        if (whySystemd.empty()) return {ControlGroupMove::Road::Nowhere, {}};
        return {ControlGroupMove::Road::SystemUnit, whySystemd};
    }
    const ErrorOr<void> joined = joinOwnGroup(*hierarchy, groupName);
    if (!joined.isError()) return {ControlGroupMove::Road::OwnGroup, {}};
    const std::string whyOwn = joined.error().describe();
    return {ControlGroupMove::Road::OwnGroup, whySystemd.empty() ? whyOwn : whySystemd + "; " + whyOwn};
}

} // namespace platform
