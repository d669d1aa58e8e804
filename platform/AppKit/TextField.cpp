#include "AppKit/TextField.h"

#include "Foundation/String.h"
#include "objc/KeyValueObserving.h"

#include <QLabel>
#include <QLineEdit>

namespace platform {

const Class TextField::classRecord{
    "NSTextField", &Control::classRecord, Class::factoryOf<TextField>(), {},
    {{"stringValue", getter(&TextField::stringValue), setter(&TextField::setStringValue)},
     {"bezeled", getter(&TextField::isBezeled), setter(&TextField::setBezeled)},
     {"bold", getter(&TextField::isBold), setter(&TextField::setBold)},
     {"labelFor", getter(&TextField::labelFor), setter(&TextField::setLabelFor)},
     {"wraps", getter(&TextField::wraps), setter(&TextField::setWraps)}}};

namespace {
QLineEdit* newField() {
    auto* field = View::makeWidget<QLineEdit>();
    field->setReadOnly(true);
    field->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return field;
}

QLabel* newLabel() {
    auto* label = View::makeWidget<QLabel>();
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return label;
}
} // namespace

TextField::TextField() : Control(newField()) {}

QString TextField::text() const {
    if (auto* label = qobject_cast<QLabel*>(widget())) return label->text();
    if (auto* field = qobject_cast<QLineEdit*>(widget())) return field->text();
    return {};
}

Ref<String> TextField::stringValue() const { return make<String>(text().toStdString()); }

void TextField::setStringValue(String* text) {
    const KeyValueChange automatic(*this, "stringValue");
    setText(text ? text->text() : std::string());
}

void TextField::setText(const std::string& text) {
    const QString shown = QString::fromStdString(text);
    if (auto* label = qobject_cast<QLabel*>(widget())) {
        if (label->text() == shown) return;
        label->setText(shown);
    } else if (auto* field = qobject_cast<QLineEdit*>(widget())) {
        field->setText(shown);
        field->setCursorPosition(0);  // long texts show their beginning
        field->setToolTip(shown);
    }
}

void TextField::setBezeled(bool bezeled) {
    const KeyValueChange automatic(*this, "bezeled");
    if (bezeled == bezeled_ || widget() == nullptr) {
        bezeled_ = bezeled;
        return;
    }
    const std::string shown = text().toStdString();
    bezeled_ = bezeled;
    replaceWidget(bezeled ? static_cast<QWidget*>(newField()) : newLabel());
    setText(shown);
    applyAttributes();
}

void TextField::setBold(bool bold) {
    const KeyValueChange automatic(*this, "bold");
    bold_ = bold;
    applyAttributes();
}

void TextField::setLabelFor(View* view) {
    const KeyValueChange automatic(*this, "labelFor");
    labelFor_ = Ref<View>(view);
    applyAttributes();
}

void TextField::setWraps(bool wraps) {
    const KeyValueChange automatic(*this, "wraps");
    wraps_ = wraps;
    applyAttributes();
}

void TextField::applyAttributes() {
    if (widget() == nullptr) return;
    QFont font = widget()->font();
    font.setBold(bold_);
    widget()->setFont(font);
    QWidget* named = labelFor_ ? labelFor_->widget() : nullptr;
    if (auto* label = qobject_cast<QLabel*>(widget())) {
        label->setBuddy(named);
        // A label that wraps takes the width it is given, and the height its lines need.
        label->setWordWrap(wraps_);
        label->setSizePolicy(wraps_ ? QSizePolicy::Expanding : QSizePolicy::Fixed,
                             wraps_ ? QSizePolicy::Minimum : QSizePolicy::Fixed);
    }
}

bool TextField::acceptsBinding(std::string_view binding) const {
    return binding == "value" || Control::acceptsBinding(binding);
}

void TextField::setValueForBinding(std::string_view binding, Object* value) {
    if (binding == "value") setText(textFromValue(value));
    else Control::setValueForBinding(binding, value);
}

} // namespace platform
