#pragma once

#include "objc/Object.h"

namespace platform {

class Dictionary;
class String;

// The key under which an error's user info holds its description.
extern String* const NSLocalizedDescriptionKey;

// An error: a domain, a code and optional details.
class Error final : public Object {
public:
    PLATFORM_CLASS_RECORD  // "NSError"

    Error(Ref<String> domain, long code, Ref<Dictionary> userInfo = nullptr);

    String* domain() const { return domain_.get(); }
    long code() const { return code_; }
    Dictionary* userInfo() const { return userInfo_.get(); }

    // The user info's description, or a generic text naming domain and code.
    Ref<String> localizedDescription() const;
    // Error Domain=<domain> Code=<code> "<localized description>"
    Ref<String> description() const override;

private:
    Ref<String> domain_;
    long code_;
    Ref<Dictionary> userInfo_;
};

} // namespace platform
