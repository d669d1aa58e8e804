#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace platform {

// The fields of /proc/PID/stat that follow the program's name, which may
// itself hold blanks and parentheses: element 0 is the state (field 3),
// element 1 the parent's pid, element 19 the start time. Absent when the
// process is gone.
std::optional<std::vector<std::string>> processStatusFields(pid_t pid);

// The pid and start time by which polkit names a process: "pid,start".
std::optional<std::string> processForPolkit(pid_t pid);

} // namespace platform
