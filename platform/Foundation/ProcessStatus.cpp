#include "Foundation/ProcessStatus.h"

#include <fstream>
#include <iterator>
#include <sstream>

namespace platform {

std::optional<std::vector<std::string>> processStatusFields(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    const std::string status((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::size_t nameEnd = status.rfind(')');
    if (nameEnd == std::string::npos) return std::nullopt;
    std::istringstream rest(status.substr(nameEnd + 1));
    std::vector<std::string> fields;
    for (std::string field; rest >> field;) fields.push_back(field);
    return fields;
}

std::optional<std::string> processForPolkit(pid_t pid) {
    constexpr std::size_t kStartTime = 19;
    const std::optional<std::vector<std::string>> fields = processStatusFields(pid);
    if (!fields || fields->size() <= kStartTime) return std::nullopt;
    return std::to_string(pid) + "," + (*fields)[kStartTime];
}

} // namespace platform
