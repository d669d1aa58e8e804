#pragma once

#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace testsupport {

// The log lines in a text, each without its time, name and process prefix.
inline std::vector<std::string> logLines(const std::string& standardError) {
    static const std::regex prefix(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} [^\[]+\[\d+:\d+\] )");
    std::vector<std::string> lines;
    std::istringstream in(standardError);
    std::string line;
    while (std::getline(in, line)) {
        std::smatch match;
        if (std::regex_search(line, match, prefix)) lines.push_back(match.suffix());
    }
    return lines;
}

// The log lines of the process that wrote the first line, when several
// processes share one standard error.
inline std::vector<std::string> logLinesOfFirstProcess(const std::string& standardError) {
    static const std::regex process(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} [^\[]+\[(\d+):\d+\] )");
    std::string first;
    std::string kept;
    std::istringstream in(standardError);
    std::string line;
    while (std::getline(in, line)) {
        std::smatch match;
        if (!std::regex_search(line, match, process)) continue;
        if (first.empty()) first = match[1];
        if (match[1] == first) kept += line + "\n";
    }
    return logLines(kept);
}

} // namespace testsupport
