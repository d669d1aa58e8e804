#include "AppKit/View.h"

#include "AppKit/Binding.h"
#include "AppKit/WidthGroup.h"
#include "Foundation/Exception.h"
#include "Foundation/Number.h"
#include "Foundation/String.h"
#include "objc/KeyValueObserving.h"

#include <QApplication>
#include <QBoxLayout>
#include <QWidget>

#include <algorithm>

namespace platform {

const Class View::classRecord{
    "NSView", &Object::classRecord, Class::factoryOf<View>(), {},
    {{"hidden", getter(&View::isHidden), setter(&View::setHidden)},
     {"toolTip", getter(&View::toolTip), setter(&View::setToolTip)},
     {"minimumWidth", getter(&View::minimumWidth), setter(&View::setMinimumWidth)},
     {"widthGroup", getter(&View::widthGroup), setter(&View::setWidthGroup)},
     {"accessibilityLabel", getter(&View::accessibilityLabel), setter(&View::setAccessibilityLabel)}}};

namespace {

QWidget* newPlainWidget() {
    auto* widget = View::makeWidget<QWidget>();
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    return widget;
}

} // namespace

void View::requireApplication() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        Exception::raise(NSInternalInconsistencyException,
                         make<String>("views need a running application (no QApplication exists)"));
    }
}

View::View() : View(newPlainWidget()) {}

View::View(QWidget* widget) : widget_(widget) {}

View::~View() {
    unbindAll();
    subviews_.clear();
    delete widget_.data();
}

QBoxLayout* View::subviewLayout() { return widget_ ? qobject_cast<QBoxLayout*>(widget_->layout()) : nullptr; }

void View::addSubview(View* view) {
    if (view == nullptr || view == this || view->widget() == nullptr) return;
    QBoxLayout* layout = subviewLayout();
    if (layout == nullptr) {
        Exception::raise(NSInvalidArgumentException,
                         String::stringWithFormat("%s cannot hold subviews", objectClass().name().c_str()));
    }
    subviews_.emplace_back(view);
    layout->addWidget(view->widget());
}

void View::replaceWidget(QWidget* widget) {
    QWidget* old = widget_;
    if (old == nullptr || widget == nullptr || widget == old) return;
    if (QWidget* parent = old->parentWidget(); parent && parent->layout()) {
        delete parent->layout()->replaceWidget(old, widget);
    }
    // What was set explicitly; a widget not yet placed anywhere reads as hidden.
    if (hidden_) widget->hide();
    if (old->testAttribute(Qt::WA_ForceDisabled)) widget->setEnabled(false);
    widget->setToolTip(old->toolTip());
    widget->setAccessibleName(old->accessibleName());
    widget->setMinimumWidth(old->minimumWidth());
    widget_ = widget;
    delete old;
    applyWidthGroup();
}

void View::setHidden(bool hidden) {
    const KeyValueChange automatic(*this, "hidden");
    hidden_ = hidden;
    if (widget_) widget_->setHidden(hidden);
}

Ref<String> View::toolTip() const {
    return widget_ ? make<String>(widget_->toolTip().toStdString()) : nullptr;
}

void View::setToolTip(String* text) {
    const KeyValueChange automatic(*this, "toolTip");
    if (widget_) widget_->setToolTip(text ? QString::fromStdString(text->text()) : QString());
}

Ref<String> View::accessibilityLabel() const {
    return widget_ ? make<String>(widget_->accessibleName().toStdString()) : nullptr;
}

void View::setAccessibilityLabel(String* text) {
    const KeyValueChange automatic(*this, "accessibilityLabel");
    if (widget_) widget_->setAccessibleName(text ? QString::fromStdString(text->text()) : QString());
}

void View::setMinimumWidth(std::int64_t width) {
    const KeyValueChange automatic(*this, "minimumWidth");
    minimumWidth_ = std::clamp<std::int64_t>(width, 0, QWIDGETSIZE_MAX);
    if (widget_) widget_->setMinimumWidth(static_cast<int>(minimumWidth_));
    applyWidthGroup();
}

Ref<String> View::widthGroup() const { return make<String>(widthGroup_); }

void View::setWidthGroup(String* group) {
    const KeyValueChange automatic(*this, "widthGroup");
    widthGroup_ = group ? group->text() : std::string();
    applyWidthGroup();
}

void View::applyWidthGroup() {
    if (widget_) joinWidthGroup(*widget_, QString::fromStdString(widthGroup_), static_cast<int>(minimumWidth_));
}

// -- bindings

bool View::acceptsBinding(std::string_view binding) const { return binding == "hidden"; }

void View::setValueForBinding(std::string_view binding, Object* value) {
    if (binding == "hidden") setHidden(boolFromValue(value));
}

void View::bind_toObject_withKeyPath(std::string_view binding, Object* object, std::string_view key,
                                     std::string_view transformer) {
    if (object == nullptr || !acceptsBinding(binding)) {
        Exception::raise(NSInvalidArgumentException,
                         String::stringWithFormat("%s has no binding \"%s\"", objectClass().name().c_str(),
                                                  std::string(binding).c_str()));
    }
    unbind(binding);
    bindings_.push_back(std::make_unique<Binding>(*this, std::string(binding), *object, std::string(key),
                                                   std::string(transformer)));
    bindings_.back()->refresh();
}

void View::unbind(std::string_view binding) {
    std::erase_if(bindings_, [&](const std::unique_ptr<Binding>& entry) { return entry->name() == binding; });
}

void View::unbindAll() {
    std::vector<std::unique_ptr<Binding>> ending;
    ending.swap(bindings_);
}

Binding* View::bindingNamed(std::string_view binding) const {
    for (const std::unique_ptr<Binding>& entry : bindings_) {
        if (entry->name() == binding) return entry.get();
    }
    return nullptr;
}

// -- values

bool boolFromValue(const Object* value) {
    const Number* number = objectAs<Number>(value);
    return number && number->boolValue();
}

std::string textFromValue(const Object* value) {
    if (value == nullptr) return {};
    if (const String* text = objectAs<String>(value)) return text->text();
    Ref<String> description = value->description();
    return description ? description->text() : std::string();
}

} // namespace platform
