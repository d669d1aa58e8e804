#pragma once

#include <string>
#include <string_view>

namespace platform {

// What the product's programs answer to --help and --version, and how they
// name a command line they cannot use.
enum class InformationRequest { None, Help, Version };

// --help (or -h) or --version, whichever comes first before "--"; these are
// answered before anything else, a display included.
InformationRequest informationRequest(int argc, const char* const argv[]);

// The product's version: "1.0".
const char* productVersion();

// "PROGRAM (Privet) VERSION\n"
std::string versionText(std::string_view program);

// "PROGRAM: PROBLEM\nTry 'PROGRAM --help' for more information.\n", with the
// problem's control characters escaped.
std::string badUsageText(std::string_view program, std::string_view problem);

} // namespace platform
