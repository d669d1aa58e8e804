#pragma once

#include <plist/plist.h>

#include <stdexcept>
#include <string>

namespace testsupport {

// A whole XML property list around the given value.
inline std::string xmlPropertyList(const std::string& value) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n" +
           value + "\n</plist>\n";
}

// The binary form of an XML property list, as the property-list library writes it.
inline std::string binaryPropertyList(const std::string& xml) {
    plist_t root = nullptr;
    plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &root);
    if (root == nullptr) throw std::runtime_error("not a property list: " + xml);
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    plist_free(root);
    std::string binary(bytes, length);
    plist_to_bin_free(bytes);
    return binary;
}

} // namespace testsupport
