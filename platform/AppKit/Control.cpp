#include "AppKit/Control.h"

#include "AppKit/ActionBoundary.h"
#include "Foundation/String.h"
#include "objc/KeyValueObserving.h"

#include <QWidget>

namespace platform {

namespace {
Ref<String> actionOf(const Control& control) {
    return control.action().empty() ? nullptr : make<String>(control.action());
}
void setActionOf(Control& control, Object* value) {
    const String* selector = objectAs<String>(value);
    control.setAction(selector ? std::string_view(selector->text()) : std::string_view());
}
} // namespace

const Class Control::classRecord{
    "NSControl", &View::classRecord, nullptr, {},
    {{"enabled", getter(&Control::isEnabled), setter(&Control::setEnabled)},
     {"target", [](Object& self) { return Ref<Object>(static_cast<Control&>(self).target()); },
      [](Object& self, Object* value) { static_cast<Control&>(self).setTarget(value); }},
     {"action", [](Object& self) -> Ref<Object> { return actionOf(static_cast<Control&>(self)); },
      [](Object& self, Object* value) { setActionOf(static_cast<Control&>(self), value); }}}};

void Control::setEnabled(bool enabled) {
    const KeyValueChange automatic(*this, "enabled");
    enabled_ = enabled;
    if (QWidget* own = widget()) own->setEnabled(enabled);
}

bool Control::sendAction() {
    if (target_ == nullptr || action_.empty()) return false;
    return platform::sendAction(action_, target_, this);
}

bool Control::acceptsBinding(std::string_view binding) const {
    return binding == "enabled" || View::acceptsBinding(binding);
}

void Control::setValueForBinding(std::string_view binding, Object* value) {
    if (binding == "enabled") setEnabled(boolFromValue(value));
    else View::setValueForBinding(binding, value);
}

} // namespace platform
