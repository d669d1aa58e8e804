#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

// Bounds that keep a hostile property list from exhausting the reader's
// stack, memory or time. Real information dictionaries stay far below them.
struct PropertyListLimits {
    std::size_t maxBytes = 4 * 1024 * 1024;
    // Nesting of arrays and dictionaries.
    std::size_t maxDepth = 256;
    // Values once shared references of a binary list are expanded, which the
    // parser does by copying.
    std::size_t maxValues = 100000;
};

// True when the text starts as a binary property list ("bplist00").
bool isBinaryPropertyList(std::string_view bytes);

// Checks the structure before a parser sees it: for a binary list the
// trailer, offset table and every container's references (no cycles, none
// out of range, dictionary keys strings without NUL); for XML a conservative
// count of nesting and elements.
// False when the list is malformed in those parts or exceeds a limit.
bool propertyListWithinLimits(std::string_view bytes, const PropertyListLimits& limits = {});

} // namespace platform
