#include "AppKit/Window.h"

#include "AppKit/View.h"
#include "Foundation/String.h"
#include "objc/KeyValueObserving.h"

#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>

namespace platform {

const Class Window::classRecord{
    "NSWindow", &Object::classRecord, Class::factoryOf<Window>(),
    {{"makeKeyAndOrderFront:", method(&Window::makeKeyAndOrderFront)}, {"orderOut:", method(&Window::orderOut)}},
    {{"title", getter(&Window::title), setter(&Window::setTitle)},
     {"contentView", getter(&Window::contentView), setter(&Window::setContentView)},
     {"visibleAtLaunch", getter(&Window::isVisibleAtLaunch), setter(&Window::setVisibleAtLaunch)},
     {"width", getter(&Window::width), setter(&Window::setWidth)},
     {"height", getter(&Window::height), setter(&Window::setHeight)},
     {"visible", getter(&Window::isVisible), nullptr}}};

namespace {
int pixels(std::int64_t value) { return static_cast<int>(std::clamp<std::int64_t>(value, 0, 10000)); }
} // namespace

Window::Window() : widget_(View::makeWidget<QWidget>()) {
    auto* layout = new QVBoxLayout(widget_);
    layout->setContentsMargins(16, 16, 16, 16);
}

Window::~Window() {
    contentView_ = nullptr;
    delete widget_.data();
}

Ref<String> Window::title() const { return widget_ ? make<String>(widget_->windowTitle().toStdString()) : make<String>(); }

void Window::setTitle(String* title) {
    const KeyValueChange automatic(*this, "title");
    if (widget_) widget_->setWindowTitle(title ? QString::fromStdString(title->text()) : QString());
}

void Window::setContentView(View* view) {
    const KeyValueChange automatic(*this, "contentView");
    if (view == contentView_.get()) return;
    if (contentView_ && contentView_->widget() && widget_) {
        widget_->layout()->removeWidget(contentView_->widget());
        contentView_->widget()->setParent(nullptr);
    }
    contentView_ = Ref<View>(view);
    if (view && view->widget() && widget_) widget_->layout()->addWidget(view->widget());
}

std::int64_t Window::width() const { return widget_ ? widget_->width() : 0; }

void Window::setWidth(std::int64_t width) {
    if (widget_) widget_->resize(pixels(width), widget_->height());
}

std::int64_t Window::height() const { return widget_ ? widget_->height() : 0; }

void Window::setHeight(std::int64_t height) {
    if (widget_) widget_->resize(widget_->width(), pixels(height));
}

bool Window::isVisible() const { return widget_ && widget_->isVisible(); }

void Window::makeKeyAndOrderFront(Object*) {
    if (!widget_) return;
    widget_->show();
    widget_->raise();
    widget_->activateWindow();
}

void Window::orderOut(Object*) {
    if (widget_) widget_->hide();
}

} // namespace platform
