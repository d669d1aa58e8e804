#pragma once

#include "AppKit/View.h"

#include <string>
#include <string_view>

namespace platform {

// A view the user acts on: it can be enabled or not, and sends its action
// selector to its target (not retained) when used.
class Control : public View {
public:
    PLATFORM_CLASS_RECORD  // "NSControl"

    Object* target() const { return target_; }
    void setTarget(Object* target) { target_ = target; }
    // The selector text, such as "installPayload:"; empty for none.
    const std::string& action() const { return action_; }
    void setAction(std::string_view selector) { action_ = selector; }

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);

    // Sends the action to the target with this control as sender, at the
    // action boundary. False when there is nothing to send or it raised.
    bool sendAction();

    // "enabled" besides the view's own.
    bool acceptsBinding(std::string_view binding) const override;
    void setValueForBinding(std::string_view binding, Object* value) override;

protected:
    explicit Control(QWidget* widget) : View(widget) {}

private:
    Object* target_ = nullptr;
    std::string action_;
    bool enabled_ = true;
};

} // namespace platform
