#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// What the product's programs answer to --help and --version, and how they
// name a command line they cannot use.

// The product's version: "1.0".
const char* productVersion();

// "PROGRAM (Privet) VERSION\n"
std::string versionText(std::string_view program);

// Answers --help (or -h) with USAGE, or --version, whichever comes first
// before "--", on standard output: the exit status, or nothing when neither
// was asked. Called before anything else, a display included.
std::optional<int> answerInformationRequest(int argc, const char* const argv[], std::string_view program,
                                            std::string_view usage);

// "PROGRAM: PROBLEM\nTry 'PROGRAM --help' for more information.\n", with the
// problem's control characters escaped.
std::string badUsageText(std::string_view program, std::string_view problem);

} // namespace platform
