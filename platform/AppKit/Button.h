#pragma once

#include "AppKit/Control.h"

class QAbstractButton;

namespace platform {

class String;

// A push button, or with buttonType "switch" a checkbox. A click sends the
// action to the target. A checkbox's "value" binding shows a BOOL key; when
// the user changes it, the new state is written to that key (for a
// read-only key the checkbox is disabled) and then the action is sent.
class Button final : public Control {
public:
    PLATFORM_CLASS_RECORD  // "NSButton"

    Button();

    Ref<String> title() const;
    void setTitle(String* title);
    // "push" or "switch"; raises NSInvalidArgumentException for another text.
    Ref<String> buttonType() const;
    void setButtonType(String* type);
    // A checkbox's state: checked or not. Push buttons have none.
    bool state() const;
    void setState(bool checked);

    // Clicks it as the user would.
    void performClick(Object* sender);

    bool acceptsBinding(std::string_view binding) const override;
    void setValueForBinding(std::string_view binding, Object* value) override;

private:
    QAbstractButton* button() const;
    void adoptButton(QAbstractButton* button);
    void clicked(bool checked);

    bool isSwitch_ = false;
};

} // namespace platform
