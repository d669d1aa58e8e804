#include "AppKit/Box.h"

#include "Foundation/String.h"
#include "objc/KeyValueObserving.h"

#include <QGroupBox>
#include <QVBoxLayout>

namespace platform {

const Class Box::classRecord{"NSBox", &View::classRecord, Class::factoryOf<Box>(), {},
                             {{"title", getter(&Box::title), setter(&Box::setTitle)}}};

namespace {
QGroupBox* newBox() {
    auto* box = View::makeWidget<QGroupBox>();
    new QVBoxLayout(box);
    return box;
}
} // namespace

Box::Box() : View(newBox()) {}

QGroupBox* Box::box() const { return static_cast<QGroupBox*>(widget()); }

Ref<String> Box::title() const { return box() ? make<String>(box()->title().toStdString()) : make<String>(); }

void Box::setTitle(String* title) {
    const KeyValueChange automatic(*this, "title");
    if (box()) box()->setTitle(title ? QString::fromStdString(title->text()) : QString());
}

} // namespace platform
