#include "AppKit/StackView.h"

#include "Foundation/Exception.h"
#include "Foundation/String.h"
#include "objc/KeyValueObserving.h"

#include <QBoxLayout>
#include <QWidget>

#include <algorithm>

namespace platform {

const Class StackView::classRecord{
    "NSStackView", &View::classRecord, Class::factoryOf<StackView>(), {},
    {{"orientation", getter(&StackView::orientation), setter(&StackView::setOrientation)},
     {"spacing", getter(&StackView::spacing), setter(&StackView::setSpacing)},
     {"margin", getter(&StackView::margin), setter(&StackView::setMargin)},
     {"alignment", getter(&StackView::alignment), setter(&StackView::setAlignment)}}};

namespace {
QWidget* newStack() {
    auto* widget = View::makeWidget<QWidget>();
    auto* layout = new QBoxLayout(QBoxLayout::TopToBottom, widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    return widget;
}

std::string textOf(const String* value) { return value ? value->text() : std::string(); }

[[noreturn]] void raiseChoice(const char* key, const char* choices, const std::string& given) {
    Exception::raise(NSInvalidArgumentException,
                     make<String>(std::string(key) + " is " + choices + ", not \"" + given + "\""));
}
} // namespace

StackView::StackView() : View(newStack()) {}

QBoxLayout* StackView::subviewLayout() { return widget() ? static_cast<QBoxLayout*>(widget()->layout()) : nullptr; }

Ref<String> StackView::orientation() const {
    QBoxLayout* layout = const_cast<StackView*>(this)->subviewLayout();
    const bool horizontal = layout && layout->direction() == QBoxLayout::LeftToRight;
    return make<String>(horizontal ? "horizontal" : "vertical");
}

void StackView::setOrientation(String* orientation) {
    const std::string text = textOf(orientation);
    if (text != "horizontal" && text != "vertical") raiseChoice("orientation", "\"horizontal\" or \"vertical\"", text);
    const KeyValueChange automatic(*this, "orientation");
    if (QBoxLayout* layout = subviewLayout()) {
        layout->setDirection(text == "horizontal" ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
        applyAlignment();
    }
}

std::int64_t StackView::spacing() const {
    QBoxLayout* layout = const_cast<StackView*>(this)->subviewLayout();
    return layout ? layout->spacing() : 0;
}

void StackView::setSpacing(std::int64_t spacing) {
    const KeyValueChange automatic(*this, "spacing");
    if (QBoxLayout* layout = subviewLayout()) layout->setSpacing(static_cast<int>(std::clamp<std::int64_t>(spacing, 0, 1000)));
}

std::int64_t StackView::margin() const {
    QBoxLayout* layout = const_cast<StackView*>(this)->subviewLayout();
    return layout ? layout->contentsMargins().left() : 0;
}

void StackView::setMargin(std::int64_t margin) {
    const KeyValueChange automatic(*this, "margin");
    const int pixels = static_cast<int>(std::clamp<std::int64_t>(margin, 0, 1000));
    if (QBoxLayout* layout = subviewLayout()) layout->setContentsMargins(pixels, pixels, pixels, pixels);
}

Ref<String> StackView::alignment() const { return make<String>(alignment_); }

void StackView::setAlignment(String* alignment) {
    const std::string text = textOf(alignment);
    if (text != "fill" && text != "leading" && text != "center" && text != "trailing") {
        raiseChoice("alignment", "\"fill\", \"leading\", \"center\" or \"trailing\"", text);
    }
    const KeyValueChange automatic(*this, "alignment");
    alignment_ = text;
    applyAlignment();
}

void StackView::applyAlignment() {
    QBoxLayout* layout = subviewLayout();
    if (layout == nullptr) return;
    const bool horizontal = layout->direction() == QBoxLayout::LeftToRight;
    Qt::Alignment along;
    if (alignment_ == "leading") along = horizontal ? Qt::AlignLeft : Qt::AlignTop;
    else if (alignment_ == "center") along = horizontal ? Qt::AlignHCenter : Qt::AlignVCenter;
    else if (alignment_ == "trailing") along = horizontal ? Qt::AlignRight : Qt::AlignBottom;
    layout->setAlignment(along);
}

} // namespace platform
