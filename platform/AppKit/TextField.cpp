#include "AppKit/TextField.h"

#include "Foundation/String.h"
#include "objc/KeyValueObserving.h"

#include <QLineEdit>

namespace platform {

const Class TextField::classRecord{
    "NSTextField", &Control::classRecord, Class::factoryOf<TextField>(), {},
    {{"stringValue", getter(&TextField::stringValue), setter(&TextField::setStringValue)},
     {"bezeled", getter(&TextField::isBezeled), setter(&TextField::setBezeled)},
     {"bold", getter(&TextField::isBold), setter(&TextField::setBold)}}};

namespace {
QLineEdit* newField() {
    auto* field = View::makeWidget<QLineEdit>();
    field->setReadOnly(true);
    field->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return field;
}
} // namespace

TextField::TextField() : Control(newField()) {}

QLineEdit* TextField::field() const { return static_cast<QLineEdit*>(widget()); }

Ref<String> TextField::stringValue() const {
    return field() ? make<String>(field()->text().toStdString()) : make<String>();
}

void TextField::setStringValue(String* text) {
    const KeyValueChange automatic(*this, "stringValue");
    setText(text ? text->text() : std::string());
}

void TextField::setText(const std::string& text) {
    QLineEdit* own = field();
    if (own == nullptr) return;
    own->setText(QString::fromStdString(text));
    own->setCursorPosition(0);  // long texts show their beginning
    own->setToolTip(own->text());
    fitLabelWidth();
}

void TextField::setBezeled(bool bezeled) {
    const KeyValueChange automatic(*this, "bezeled");
    bezeled_ = bezeled;
    QLineEdit* own = field();
    if (own == nullptr) return;
    own->setFrame(bezeled);
    // A label takes the colours of what it lies on and the width of its text.
    own->setStyleSheet(bezeled ? QString() : QStringLiteral("QLineEdit { background: transparent; }"));
    own->setFocusPolicy(bezeled ? Qt::StrongFocus : Qt::NoFocus);
    own->setSizePolicy(bezeled ? QSizePolicy::Expanding : QSizePolicy::Fixed, QSizePolicy::Fixed);
    fitLabelWidth();
}

void TextField::setBold(bool bold) {
    const KeyValueChange automatic(*this, "bold");
    bold_ = bold;
    QLineEdit* own = field();
    if (own == nullptr) return;
    QFont font = own->font();
    font.setBold(bold);
    own->setFont(font);
    fitLabelWidth();
}

void TextField::fitLabelWidth() {
    QLineEdit* own = field();
    if (own == nullptr || bezeled_) return;
    const int textWidth = own->fontMetrics().horizontalAdvance(own->text()) + 8;
    own->setFixedWidth(std::max(textWidth, static_cast<int>(minimumWidth())));
}

bool TextField::acceptsBinding(std::string_view binding) const {
    return binding == "value" || Control::acceptsBinding(binding);
}

void TextField::setValueForBinding(std::string_view binding, Object* value) {
    if (binding == "value") setText(textFromValue(value));
    else Control::setValueForBinding(binding, value);
}

} // namespace platform
