#include "Foundation/PropertyList.h"

#include "Foundation/Array.h"
#include "Foundation/Data.h"
#include "Foundation/Date.h"
#include "Foundation/Descriptor.h"
#include "Foundation/Dictionary.h"
#include "Foundation/Number.h"
#include "Foundation/String.h"
#include "Foundation/SystemCall.h"

#include <plist/plist.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace platform {
namespace {

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistOwner = std::unique_ptr<void, PlistFree>;

struct CFree {
    void operator()(void* memory) const { std::free(memory); }
};

Ref<String> stringFromNode(plist_t node) {
    std::uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    if (text == nullptr) return nullptr;
    std::string value(text, static_cast<std::size_t>(length));
    if (!isValidUTF8(value)) return nullptr;
    return make<String>(std::move(value));
}

Ref<Object> objectFromNode(plist_t node, std::size_t depth, std::size_t maxDepth);

Ref<Object> arrayFromNode(plist_t node, std::size_t depth, std::size_t maxDepth) {
    const std::uint32_t count = plist_array_get_size(node);
    std::vector<Ref<Object>> items;
    items.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        Ref<Object> item = objectFromNode(plist_array_get_item(node, i), depth + 1, maxDepth);
        if (!item) return nullptr;
        items.push_back(std::move(item));
    }
    return make<Array>(std::move(items));
}

Ref<Object> dictionaryFromNode(plist_t node, std::size_t depth, std::size_t maxDepth) {
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(node, &iterator);
    if (iterator == nullptr) return nullptr;
    std::unique_ptr<void, CFree> iteratorOwner(iterator);
    Dictionary::Storage entries;
    for (;;) {
        char* rawKey = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, iterator, &rawKey, &value);
        std::unique_ptr<char, CFree> key(rawKey);
        if (value == nullptr) break;
        if (!key || !isValidUTF8(key.get())) return nullptr;
        Ref<Object> object = objectFromNode(value, depth + 1, maxDepth);
        if (!object) return nullptr;
        entries.insert_or_assign(std::string(key.get()), std::move(object));
    }
    return make<Dictionary>(std::move(entries));
}

Ref<Object> objectFromNode(plist_t node, std::size_t depth, std::size_t maxDepth) {
    if (node == nullptr || depth > maxDepth) return nullptr;
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        std::uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return Number::numberWithBool(value != 0);
    }
    case PLIST_UINT: {
        // Stored as 64 bits; negative values come back in two's complement.
        std::uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return Number::numberWithInteger(static_cast<std::int64_t>(value));
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return Number::numberWithDouble(value);
    }
    case PLIST_STRING:
        return stringFromNode(node);
    case PLIST_DATE: {
        std::int32_t seconds = 0;
        std::int32_t microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        return Date::dateWithTimeIntervalSinceReferenceDate(seconds + microseconds / 1e6);
    }
    case PLIST_DATA: {
        std::uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(node, &length);
        return make<Data>(bytes ? std::string(bytes, static_cast<std::size_t>(length)) : std::string());
    }
    case PLIST_ARRAY:
        return arrayFromNode(node, depth, maxDepth);
    case PLIST_DICT:
        return dictionaryFromNode(node, depth, maxDepth);
    case PLIST_UID: {
        std::uint64_t value = 0;
        plist_get_uid_val(node, &value);
        return Number::numberWithInteger(static_cast<std::int64_t>(value));
    }
    default:
        return nullptr;
    }
}

// Reads a whole regular file of at most `maxBytes`. Opening does not wait on
// a FIFO, and a file that grows while it is read still cannot exceed the limit.
std::optional<std::string> readRegularFile(const char* path, std::size_t maxBytes) {
    const ErrorOr<Descriptor> owner = sys::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (owner.isError()) return std::nullopt;
    const int fd = owner.value().get();
    const ErrorOr<struct stat> examined = sys::fstat(fd);
    if (examined.isError()) return std::nullopt;
    const struct stat& status = examined.value();
    if (!S_ISREG(status.st_mode) || status.st_size < 0 || static_cast<std::uint64_t>(status.st_size) > maxBytes) {
        return std::nullopt;
    }
    // Read to the end, not just to the size seen: the file may be growing.
    // Past that size the reads go through a buffer, so that the string is
    // not zero-filled ahead of them. Each read asks for the buffer as well,
    // so that a read falling short of both tells the end without another.
    std::string contents(static_cast<std::size_t>(status.st_size), '\0');
    std::size_t filled = 0;
    char beyond[4096];
    for (;;) {
        iovec parts[2] = {{contents.data() + filled, contents.size() - filled}, {beyond, sizeof beyond}};
        const std::size_t wanted = parts[0].iov_len + parts[1].iov_len;
        const ssize_t got = sys::retryingInterrupts([&] { return readv(fd, parts, 2); });
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        const auto gotBytes = static_cast<std::size_t>(got);
        if (gotBytes > parts[0].iov_len) {
            const std::size_t extra = gotBytes - parts[0].iov_len;
            if (contents.size() + extra > maxBytes) return std::nullopt;
            contents.append(beyond, extra);
        }
        filled += gotBytes;
        if (gotBytes < wanted) break;  // a regular file reads short only at its end
    }
    if (filled > maxBytes) return std::nullopt;
    contents.resize(filled);
    return contents;
}

} // namespace

Ref<Object> propertyListFromBytes(std::string_view bytes, const PropertyListLimits& limits) {
    if (bytes.empty() || bytes.size() > UINT32_MAX || !propertyListWithinLimits(bytes, limits)) return nullptr;
    const auto length = static_cast<std::uint32_t>(bytes.size());
    plist_t root = nullptr;
    if (isBinaryPropertyList(bytes)) plist_from_bin(bytes.data(), length, &root);
    else plist_from_xml(bytes.data(), length, &root);
    PlistOwner owner(root);
    return objectFromNode(root, 1, limits.maxDepth);
}

Ref<Object> propertyListWithContentsOfFile(const String* path, const PropertyListLimits& limits) {
    if (path == nullptr || path->text().empty()) return nullptr;
    std::optional<std::string> contents = readRegularFile(path->UTF8String(), limits.maxBytes);
    return contents ? propertyListFromBytes(*contents, limits) : nullptr;
}

} // namespace platform
