#include "Foundation/CommandLine.h"

#include "Foundation/Log.h"

#include <cstdio>

#ifndef PRIVET_VERSION
#error "PRIVET_VERSION is the product's version"
#endif

namespace platform {

namespace {
enum class InformationRequest { None, Help, Version };

InformationRequest informationRequest(int argc, const char* const argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--") break;
        if (argument == "--help" || argument == "-h") return InformationRequest::Help;
        if (argument == "--version") return InformationRequest::Version;
    }
    return InformationRequest::None;
}
} // namespace

const char* productVersion() { return PRIVET_VERSION; }

std::string versionText(std::string_view program) {
    return std::string(program) + " (Privet) " PRIVET_VERSION "\n";
}

std::optional<int> answerInformationRequest(int argc, const char* const argv[], std::string_view program,
                                            std::string_view usage) {
    switch (informationRequest(argc, argv)) {
    case InformationRequest::Help: std::fwrite(usage.data(), 1, usage.size(), stdout); return 0;
    case InformationRequest::Version: std::fputs(versionText(program).c_str(), stdout); return 0;
    case InformationRequest::None: break;
    }
    return std::nullopt;
}

std::string badUsageText(std::string_view program, std::string_view problem) {
    const std::string name(program);
    // The problem quotes the command line, which may hold anything.
    return name + ": " + escapedControlCharacters(problem) + "\nTry '" + name + " --help' for more information.\n";
}

} // namespace platform
