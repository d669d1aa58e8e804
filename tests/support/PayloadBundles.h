#pragma once

// Payload bundles for tests: folders with an information dictionary that
// holds only the keys given.

#include "support/BundleTestHost.h"
#include "support/PropertyListText.h"
#include "support/TempDir.h"

#include "Foundation/FileManager.h"

#include <filesystem>
#include <optional>
#include <string>

namespace testsupport {

struct PayloadInfo {
    std::optional<std::string> name;        // CFBundleName
    std::optional<std::string> version;     // CFBundleVersion
    std::optional<std::string> identifier;  // CFBundleIdentifier
    bool versionIsNumber = false;           // <integer> instead of <string>
    bool binary = false;                    // a binary property list instead of XML
};

inline void writePayloadBundle(const std::filesystem::path& bundle, const PayloadInfo& info) {
    std::string dict;
    auto entry = [&](const char* key, const std::optional<std::string>& value, const char* type = "string") {
        if (value) dict += std::string("<key>") + key + "</key><" + type + ">" + *value + "</" + type + ">";
    };
    entry("CFBundleName", info.name);
    entry("CFBundleVersion", info.version, info.versionIsNumber ? "integer" : "string");
    entry("CFBundleIdentifier", info.identifier);
    const std::string xml = xmlPropertyList("<dict>" + dict + "</dict>");
    writeFile(bundle / "Contents/Info.plist", info.binary ? binaryPropertyList(xml) : xml);
    writeFile(bundle / "Contents/Linux/payload.so", "code");
}

// The Library folders of a throwaway machine, in a temporary folder, in
// place while it lives.
struct ThrowawayMachine {
    TempDir root;
    platform::LibraryFoldersOverride folders{
        {std::nullopt, (root.path() / "Library").string(), (root.path() / "System/Library").string()}};
    std::filesystem::path library() const { return root.path() / "Library"; }
};

inline std::filesystem::path paneFolder(const char* folder) {
    return std::filesystem::path(testPaneBundlePath()) / "Contents" / folder;
}

} // namespace testsupport
