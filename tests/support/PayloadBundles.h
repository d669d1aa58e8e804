#pragma once

// Payload bundles for tests: folders with an information dictionary that
// holds only the keys given.

#include "support/BundleTestHost.h"
#include "support/TempDir.h"

#include <filesystem>
#include <optional>
#include <string>

namespace testsupport {

struct PayloadInfo {
    std::optional<std::string> name;        // CFBundleName
    std::optional<std::string> version;     // CFBundleVersion
    std::optional<std::string> identifier;  // CFBundleIdentifier
    bool versionIsNumber = false;           // <integer> instead of <string>
};

inline void writePayloadBundle(const std::filesystem::path& bundle, const PayloadInfo& info) {
    std::string dict;
    auto entry = [&](const char* key, const std::optional<std::string>& value, const char* type = "string") {
        if (value) dict += std::string("<key>") + key + "</key><" + type + ">" + *value + "</" + type + ">";
    };
    entry("CFBundleName", info.name);
    entry("CFBundleVersion", info.version, info.versionIsNumber ? "integer" : "string");
    entry("CFBundleIdentifier", info.identifier);
    writeFile(bundle / "Contents/Info.plist",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + dict + "</dict></plist>\n");
    writeFile(bundle / "Contents/Linux/payload.so", "code");
}

inline std::filesystem::path paneFolder(const char* folder) {
    return std::filesystem::path(testPaneBundlePath()) / "Contents" / folder;
}

} // namespace testsupport
