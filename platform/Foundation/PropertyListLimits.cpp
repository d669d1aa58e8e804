#include "Foundation/PropertyListLimits.h"

#include <cstdint>
#include <optional>
#include <unordered_map>

namespace platform {
namespace {

constexpr std::string_view kBinaryMagic = "bplist00";
constexpr std::size_t kTrailerSize = 32;

// The object graph of a binary list. The parser copies a shared object once
// for every reference to it, so a few bytes that reference one array twice
// from each level grow exponentially; this walk counts what the copies would
// add up to without making them.
class BinaryListWalk {
public:
    BinaryListWalk(std::string_view bytes, const PropertyListLimits& limits) : bytes_(bytes), limits_(limits) {}

    bool withinLimits() {
        if (!readTrailer()) return false;
        Extent extent;
        return visit(topObject_, 1, extent);
    }

private:
    // What an object expands to: its values and the levels they nest.
    struct Extent {
        std::size_t values = 0;
        std::size_t height = 0;
    };
    enum class State { Visiting, Done };
    struct Visit {
        State state;
        Extent extent;
    };

    std::optional<std::uint64_t> readUnsigned(std::size_t offset, std::size_t width) const {
        if (width == 0 || width > 8 || offset > bytes_.size() || bytes_.size() - offset < width) return std::nullopt;
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i) value = (value << 8) | static_cast<unsigned char>(bytes_[offset + i]);
        return value;
    }

    bool readTrailer() {
        if (bytes_.size() < kBinaryMagic.size() + kTrailerSize) return false;
        const std::size_t trailer = bytes_.size() - kTrailerSize;
        offsetSize_ = static_cast<unsigned char>(bytes_[trailer + 6]);
        referenceSize_ = static_cast<unsigned char>(bytes_[trailer + 7]);
        const std::uint64_t count = *readUnsigned(trailer + 8, 8);
        const std::uint64_t top = *readUnsigned(trailer + 16, 8);
        const std::uint64_t table = *readUnsigned(trailer + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || referenceSize_ < 1 || referenceSize_ > 8) return false;
        if (count == 0 || top >= count) return false;
        if (table < kBinaryMagic.size() || table > trailer || (trailer - table) / offsetSize_ < count) return false;
        objectCount_ = count;
        topObject_ = top;
        offsetTable_ = static_cast<std::size_t>(table);
        return true;
    }

    std::optional<std::size_t> objectOffset(std::uint64_t index) const {
        const std::optional<std::uint64_t> offset =
            readUnsigned(offsetTable_ + static_cast<std::size_t>(index) * offsetSize_, offsetSize_);
        if (!offset || *offset < kBinaryMagic.size() || *offset >= offsetTable_) return std::nullopt;
        return static_cast<std::size_t>(*offset);
    }

    // The element count of the object at `offset` (in the marker's low four
    // bits, or in an integer that follows when they are all set) and where
    // its elements begin.
    struct Counted {
        std::uint64_t count;
        std::size_t position;
    };
    std::optional<Counted> readCount(std::size_t offset) const {
        const auto marker = static_cast<unsigned char>(bytes_[offset]);
        std::size_t position = offset + 1;
        std::uint64_t count = marker & 0x0F;
        if (count == 0x0F) {
            const std::optional<std::uint64_t> sizeMarker = readUnsigned(position, 1);
            if (!sizeMarker || (*sizeMarker >> 4) != 0x1 || (*sizeMarker & 0x0F) > 3) return std::nullopt;
            const std::size_t width = std::size_t{1} << (*sizeMarker & 0x0F);
            const std::optional<std::uint64_t> stored = readUnsigned(position + 1, width);
            if (!stored) return std::nullopt;
            count = *stored;
            position += 1 + width;
        }
        return Counted{count, position};
    }

    // A dictionary key must be a string, and one without a NUL character:
    // the parser stops the process on such a key when it is read. Each key
    // object is looked at once, however often it is referenced.
    bool isKeyWithoutNul(std::uint64_t index) {
        if (auto checked = keyChecks_.find(index); checked != keyChecks_.end()) return checked->second;
        const bool valid = keyHasNoNul(index);
        keyChecks_.emplace(index, valid);
        return valid;
    }

    bool keyHasNoNul(std::uint64_t index) const {
        if (index >= objectCount_) return false;
        const std::optional<std::size_t> offset = objectOffset(index);
        if (!offset) return false;
        const unsigned type = static_cast<unsigned char>(bytes_[*offset]) >> 4;
        if (type != 0x5 && type != 0x6) return false;
        const std::optional<Counted> counted = readCount(*offset);
        if (!counted) return false;
        const std::size_t unit = type == 0x5 ? 1 : 2;  // ASCII bytes or UTF-16 code units
        if (counted->position > offsetTable_ || (offsetTable_ - counted->position) / unit < counted->count) return false;
        const std::string_view text = bytes_.substr(counted->position, static_cast<std::size_t>(counted->count) * unit);
        for (std::size_t i = 0; i < text.size(); i += unit) {
            if (text[i] == '\0' && (unit == 1 || text[i + 1] == '\0')) return false;
        }
        return true;
    }

    bool visit(std::uint64_t index, std::size_t depth, Extent& extent) {
        if (index >= objectCount_ || depth > limits_.maxDepth) return false;
        if (auto seen = visits_.find(index); seen != visits_.end()) {
            if (seen->second.state == State::Visiting) return false;  // a cycle
            extent = seen->second.extent;
            return depth - 1 + extent.height <= limits_.maxDepth;
        }
        // Every object reached adds at least one value, so at most
        // maxValues + 1 entries are ever made here.
        visits_[index] = {State::Visiting, {}};

        const std::optional<std::size_t> offset = objectOffset(index);
        if (!offset) return false;
        const auto marker = static_cast<unsigned char>(bytes_[*offset]);
        const unsigned type = marker >> 4;
        Extent own{1, 1};
        if (type == 0xA || type == 0xB || type == 0xC || type == 0xD) {
            const std::optional<Counted> counted = readCount(*offset);
            if (!counted) return false;
            const std::uint64_t count = counted->count;
            const std::size_t position = counted->position;
            const std::uint64_t references = type == 0xD ? count * 2 : count;
            if (count > offsetTable_ || position > offsetTable_ ||
                (offsetTable_ - position) / referenceSize_ < references) {
                return false;
            }
            for (std::uint64_t i = 0; i < references; ++i) {
                const std::uint64_t child = *readUnsigned(position + static_cast<std::size_t>(i) * referenceSize_,
                                                          referenceSize_);
                // The first half of a dictionary's references are its keys.
                if (type == 0xD && i < count && !isKeyWithoutNul(child)) return false;
                Extent inner;
                if (!visit(child, depth + 1, inner)) return false;
                own.values += inner.values;
                if (own.values > limits_.maxValues) return false;
                if (inner.height + 1 > own.height) own.height = inner.height + 1;
            }
        }
        visits_[index] = {State::Done, own};
        extent = own;
        return true;
    }

    std::string_view bytes_;
    const PropertyListLimits& limits_;
    unsigned offsetSize_ = 0;
    unsigned referenceSize_ = 0;
    std::uint64_t objectCount_ = 0;
    std::uint64_t topObject_ = 0;
    std::size_t offsetTable_ = 0;
    std::unordered_map<std::uint64_t, Visit> visits_;
    std::unordered_map<std::uint64_t, bool> keyChecks_;
};

// Counts elements and their nesting the way the XML reader tokenizes:
// comments, processing instructions, the document type and character data
// are skipped, a double-quoted attribute value may hold '>', and a tag that
// ends in "/>" opens nothing. Whatever the reader would build before it
// stops is counted.
class XmlListScan {
public:
    XmlListScan(std::string_view text, const PropertyListLimits& limits) : text_(text), limits_(limits) {}

    bool withinLimits() {
        std::size_t depth = 0;
        std::size_t elements = 0;
        std::size_t at = 0;
        while ((at = text_.find('<', at)) != std::string_view::npos) {
            const std::string_view rest = text_.substr(at);
            std::size_t end;
            if (rest.starts_with("<!--")) {
                end = after(text_.find("-->", at + 4), 3);
            } else if (rest.starts_with("<![CDATA[")) {
                end = after(text_.find("]]>", at + 9), 3);
            } else if (rest.starts_with("<?")) {
                end = after(findOutsideQuotes(at + 2, "?>"), 2);
            } else if (rest.starts_with("<!")) {
                end = skipDocumentType(at + 2);
            } else if (rest.starts_with("</")) {
                end = after(findOutsideQuotes(at + 2, ">"), 1);
                if (depth > 0) --depth;
            } else {
                const std::size_t close = findOutsideQuotes(at + 1, ">");
                end = after(close, 1);
                if (++elements > limits_.maxValues) return false;
                const bool empty = close != std::string_view::npos && text_[close - 1] == '/';
                if (!empty && ++depth > limits_.maxDepth) return false;
            }
            at = end;
        }
        return true;
    }

private:
    static std::size_t after(std::size_t found, std::size_t length) {
        return found == std::string_view::npos ? std::string_view::npos : found + length;
    }

    std::size_t findOutsideQuotes(std::size_t from, std::string_view token) const {
        bool quoted = false;
        for (std::size_t i = from; i < text_.size(); ++i) {
            if (text_[i] == '"') quoted = !quoted;
            else if (!quoted && text_.substr(i).starts_with(token)) return i;
        }
        return std::string_view::npos;
    }

    // "<!DOCTYPE name ...>", or with an internal subset "<!DOCTYPE name [...]>".
    std::size_t skipDocumentType(std::size_t from) const {
        bool quoted = false;
        for (std::size_t i = from; i < text_.size(); ++i) {
            if (text_[i] == '"') quoted = !quoted;
            else if (!quoted && text_[i] == '>') return i + 1;
            else if (!quoted && text_[i] == '[') return after(findOutsideQuotes(i + 1, "]>"), 2);
        }
        return std::string_view::npos;
    }

    std::string_view text_;
    const PropertyListLimits& limits_;
};

} // namespace

bool isBinaryPropertyList(std::string_view bytes) { return bytes.starts_with(kBinaryMagic); }

bool propertyListWithinLimits(std::string_view bytes, const PropertyListLimits& limits) {
    if (bytes.size() > limits.maxBytes) return false;
    if (isBinaryPropertyList(bytes)) return BinaryListWalk(bytes, limits).withinLimits();
    return XmlListScan(bytes, limits).withinLimits();
}

} // namespace platform
