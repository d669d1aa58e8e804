#include "AppKit/Button.h"

#include "AppKit/Binding.h"
#include "Foundation/Exception.h"
#include "Foundation/Number.h"
#include "Foundation/String.h"
#include "objc/KeyValueObserving.h"

#include <QCheckBox>
#include <QPushButton>

namespace platform {

const Class Button::classRecord{
    "NSButton", &Control::classRecord, Class::factoryOf<Button>(),
    {{"performClick:", method(&Button::performClick)}},
    {{"title", getter(&Button::title), setter(&Button::setTitle)},
     {"buttonType", getter(&Button::buttonType), setter(&Button::setButtonType)},
     {"state", getter(&Button::state), setter(&Button::setState)}}};

namespace {
QPushButton* newPushButton() {
    auto* button = View::makeWidget<QPushButton>();
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // Return and Enter press a focused button, as Space does; outside
    // dialogs Qt gives that only to auto-default buttons.
    button->setAutoDefault(true);
    return button;
}
} // namespace

Button::Button() : Control(newPushButton()) { adoptButton(button()); }

QAbstractButton* Button::button() const { return static_cast<QAbstractButton*>(widget()); }

void Button::adoptButton(QAbstractButton* button) {
    QObject::connect(button, &QAbstractButton::clicked, button, [this](bool checked) { clicked(checked); });
}

Ref<String> Button::title() const { return button() ? make<String>(button()->text().toStdString()) : make<String>(); }

void Button::setTitle(String* title) {
    const KeyValueChange automatic(*this, "title");
    if (button()) button()->setText(title ? QString::fromStdString(title->text()) : QString());
}

Ref<String> Button::buttonType() const { return make<String>(isSwitch_ ? "switch" : "push"); }

void Button::setButtonType(String* type) {
    const std::string text = type ? type->text() : std::string();
    if (text != "push" && text != "switch") {
        Exception::raise(NSInvalidArgumentException,
                         make<String>("buttonType is \"push\" or \"switch\", not \"" + text + "\""));
    }
    const bool isSwitch = text == "switch";
    if (isSwitch == isSwitch_ || button() == nullptr) return;
    const KeyValueChange automatic(*this, "buttonType");
    isSwitch_ = isSwitch;
    QAbstractButton* replacement = isSwitch ? static_cast<QAbstractButton*>(makeWidget<QCheckBox>()) : newPushButton();
    replacement->setText(button()->text());
    replaceWidget(replacement);
    adoptButton(replacement);
    if (Binding* binding = bindingNamed("value")) binding->refresh();
}

bool Button::state() const { return isSwitch_ && button() && button()->isChecked(); }

void Button::setState(bool checked) {
    const KeyValueChange automatic(*this, "state");
    if (isSwitch_ && button()) button()->setChecked(checked);
}

void Button::performClick(Object*) {
    if (button() && isEnabled()) button()->click();
}

void Button::clicked(bool checked) {
    Ref<Object> keep(this);  // the action may release the interface this button is in
    if (isSwitch_) {
        if (Binding* binding = bindingNamed("value")) binding->writeBack(Number::numberWithBool(checked).get());
    }
    sendAction();
}

bool Button::acceptsBinding(std::string_view binding) const {
    return (binding == "value" && isSwitch_) || Control::acceptsBinding(binding);
}

void Button::setValueForBinding(std::string_view binding, Object* value) {
    if (binding != "value") {
        Control::setValueForBinding(binding, value);
        return;
    }
    setState(boolFromValue(value));
    // Something the user cannot change shows as such.
    if (Binding* bound = bindingNamed("value"); bound && !bound->isWritable()) setEnabled(false);
}

} // namespace platform
