#pragma once

#include "objc/KeyValueObserving.h"

#include <string>
#include <string_view>

namespace platform {

class View;

// Keeps one attribute of a view equal to a key of an observed object: an
// observer of the key that reads it again on every did-change announcement
// and hands the value to the view. Neither the view nor the object is owned;
// the binding removes itself as an observer when it ends.
class Binding final : public KeyValueObserver {
public:
    Binding(View& view, std::string name, Object& object, std::string key, std::string transformer = {});
    ~Binding() override;
    Binding(const Binding&) = delete;
    Binding& operator=(const Binding&) = delete;

    const std::string& name() const { return name_; }
    Object& object() const { return object_; }
    const std::string& key() const { return key_; }

    // Reads the key and applies it. A read that raises is logged and leaves
    // the view as it was.
    void refresh();
    // Whether the key can be set (writeBack has an effect).
    bool isWritable() const;
    // Sets the key to a value the user chose, then reads it back: the object
    // may refuse or change it. Exceptions are reported as an action's are.
    void writeBack(Object* value);

    void observeDidChangeValueForKey(Object& object, const std::string& key) override;

private:
    View& view_;
    std::string name_;
    Object& object_;
    std::string key_;
    std::string transformer_;
};

} // namespace platform
