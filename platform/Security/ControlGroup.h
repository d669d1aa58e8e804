#pragma once

// The control group the root side of an authorization runs in. Its caller
// chose the one it starts in, and whoever owns that group can freeze or kill
// every process in it; the root side moves to one only root may change.

#include <optional>
#include <string>

namespace platform {

struct ControlGroupMove {
    enum class Road {
        SystemUnit,  // a transient scope of the system manager
        OwnGroup,    // a group of its own at the top of the cgroup2 hierarchy
        Nowhere,     // neither systemd nor a cgroup2 hierarchy: it stayed
    };
    Road road = Road::Nowhere;
    std::string failure;  // why it could not leave a group it should have; empty when it did
};

// Moves this process, and so whatever it starts afterwards, out of its
// caller's control group: where systemd runs, into the transient scope
// `unitName` under system.slice, asked over the system bus; otherwise, or
// when that fails, into the group `groupName` at the top of the cgroup2
// hierarchy, made when missing and refused when anyone but root could change
// it. Returns once the move shows in /proc/self/cgroup.
ControlGroupMove leaveCallersControlGroup(const std::string& unitName, const std::string& groupName);

// Where the cgroup2 hierarchy is mounted, when it is.
std::optional<std::string> controlGroupHierarchy();

// This process's group, as the cgroup2 line of /proc/self/cgroup names it.
std::optional<std::string> ownControlGroup();

} // namespace platform
