#include "Foundation/Error.h"

#include "Foundation/Dictionary.h"
#include "Foundation/String.h"

namespace platform {

String* const NSLocalizedDescriptionKey = String::constant("NSLocalizedDescription");

const Class Error::classRecord{"NSError", &Object::classRecord};

Error::Error(Ref<String> domain, long code, Ref<Dictionary> userInfo)
    : domain_(std::move(domain)), code_(code), userInfo_(std::move(userInfo)) {}

Ref<String> Error::localizedDescription() const {
    if (userInfo_) {
        if (const String* text = objectAs<String>(userInfo_->objectForKey(NSLocalizedDescriptionKey))) {
            return text->copy();
        }
    }
    return String::stringWithFormat("The operation couldn\u2019t be completed. (%@ error %ld.)", domain_, code_);
}

Ref<String> Error::description() const {
    return String::stringWithFormat("Error Domain=%@ Code=%ld \"%@\"", domain_, code_, localizedDescription());
}

} // namespace platform
