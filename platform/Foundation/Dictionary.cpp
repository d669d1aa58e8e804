#include "Foundation/Dictionary.h"

#include "Foundation/String.h"

namespace platform {

const Class Dictionary::classRecord{"NSDictionary", &Object::classRecord, Class::factoryOf<Dictionary>()};

Dictionary::Dictionary(Storage entries) : entries_(std::move(entries)) {}

Object* Dictionary::objectForKey(const String* key) const {
    return key ? objectForKey(std::string_view(key->text())) : nullptr;
}

Object* Dictionary::objectForKey(std::string_view key) const {
    auto found = entries_.find(key);
    return found == entries_.end() ? nullptr : found->second.get();
}

Ref<String> Dictionary::description() const {
    std::string text = "{";
    for (const auto& [key, value] : entries_) {
        text += "\n    " + key + " = ";
        text += value ? value->description()->text() : "(null)";
        text += ";";
    }
    text += entries_.empty() ? "}" : "\n}";
    return make<String>(std::move(text));
}

bool Dictionary::isEqual(const Object* other) const {
    const Dictionary* dictionary = objectAs<Dictionary>(other);
    if (!dictionary || dictionary->count() != count()) return false;
    for (const auto& [key, value] : entries_) {
        Object* theirs = dictionary->objectForKey(std::string_view(key));
        if (!theirs || !value->isEqual(theirs)) return false;
    }
    return true;
}

} // namespace platform
