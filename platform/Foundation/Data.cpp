#include "Foundation/Data.h"

#include "Foundation/String.h"

#include <functional>
#include <string_view>

namespace platform {
namespace {

void appendHex(std::string& out, std::string_view bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        out += digits[value >> 4];
        out += digits[value & 0x0F];
    }
}

} // namespace

const Class Data::classRecord{"NSData", &Object::classRecord, Class::factoryOf<Data>()};

Data::Data(std::string bytes) : bytes_(std::move(bytes)) {}

Ref<String> Data::description() const {
    constexpr std::size_t kShownInFull = 24;
    constexpr std::size_t kHead = 16;
    constexpr std::size_t kTail = 8;
    const std::string_view bytes(bytes_);
    std::string text = "{length = " + std::to_string(bytes.size()) + ", bytes = 0x";
    if (bytes.size() <= kShownInFull) {
        appendHex(text, bytes);
    } else {
        appendHex(text, bytes.substr(0, kHead));
        text += " ... ";
        appendHex(text, bytes.substr(bytes.size() - kTail));
    }
    text += "}";
    return make<String>(std::move(text));
}

bool Data::isEqual(const Object* other) const {
    const Data* data = objectAs<Data>(other);
    return data && data->bytes_ == bytes_;
}

std::size_t Data::hash() const { return std::hash<std::string>{}(bytes_); }

} // namespace platform
