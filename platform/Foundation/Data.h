#pragma once

#include "objc/Object.h"

#include <string>

namespace platform {

// An immutable run of bytes.
class Data final : public Object {
public:
    PLATFORM_CLASS_RECORD  // "NSData"

    explicit Data(std::string bytes = {});

    std::size_t length() const { return bytes_.size(); }
    const std::string& bytes() const { return bytes_; }

    // {length = N, bytes = 0x...}: every byte in hex up to 24 bytes; longer
    // data shows its first 16 and last 8 bytes around " ... ".
    Ref<String> description() const override;
    bool isEqual(const Object* other) const override;
    std::size_t hash() const override;

private:
    std::string bytes_;
};

} // namespace platform
