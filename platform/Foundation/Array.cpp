#include "Foundation/Array.h"

#include "Foundation/Exception.h"
#include "Foundation/String.h"

namespace platform {

const Class Array::classRecord{"NSArray", &Object::classRecord, Class::factoryOf<Array>()};

Array::Array(std::vector<Ref<Object>> objects) : objects_(std::move(objects)) {}

Ref<Array> Array::arrayWithObjects(std::initializer_list<Object*> objects) {
    std::vector<Ref<Object>> list;
    for (Object* object : objects) {
        if (object == nullptr) break;
        list.emplace_back(object);
    }
    return make<Array>(std::move(list));
}

Object* Array::objectAtIndex(std::size_t index) const {
    if (index >= objects_.size()) {
        Exception::raise(NSRangeException,
                         objects_.empty()
                             ? String::stringWithFormat("*** -[NSArray objectAtIndex:]: index %zu beyond bounds for empty array", index)
                             : String::stringWithFormat("*** -[NSArray objectAtIndex:]: index %zu beyond bounds [0 .. %zu]",
                                                        index, objects_.size() - 1));
    }
    return objects_[index].get();
}

Ref<String> Array::description() const {
    std::string text = "(";
    for (std::size_t i = 0; i < objects_.size(); ++i) {
        text += i == 0 ? "\n    " : ",\n    ";
        text += objects_[i] ? objects_[i]->description()->text() : "(null)";
    }
    text += objects_.empty() ? ")" : "\n)";
    return make<String>(std::move(text));
}

bool Array::isEqual(const Object* other) const {
    const Array* array = objectAs<Array>(other);
    if (!array || array->count() != count()) return false;
    for (std::size_t i = 0; i < objects_.size(); ++i) {
        if (!objects_[i]->isEqual(array->objects_[i].get())) return false;
    }
    return true;
}

} // namespace platform
