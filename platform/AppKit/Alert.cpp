#include "AppKit/Alert.h"

#include "Foundation/String.h"
#include "objc/KeyValueObserving.h"

#include <QApplication>
#include <QMessageBox>

namespace platform {

const Class Alert::classRecord{
    "NSAlert", &Object::classRecord, Class::factoryOf<Alert>(),
    {{"runModal", method(&Alert::runModal)}},
    {{"messageText", getter(&Alert::messageText), setter(&Alert::setMessageText)},
     {"informativeText", getter(&Alert::informativeText), setter(&Alert::setInformativeText)}}};

namespace {
Alert::Presenter& presenter() {
    static Alert::Presenter current;
    return current;
}

QString qText(const String* text) { return text ? QString::fromStdString(text->text()) : QString(); }
} // namespace

void Alert::setMessageText(String* text) { messageText_ = text ? text->copy() : nullptr; }

void Alert::setInformativeText(String* text) { informativeText_ = text ? text->copy() : nullptr; }

Alert::Presenter Alert::setPresenter(Presenter replacement) {
    Presenter previous = std::move(presenter());
    presenter() = std::move(replacement);
    return previous;
}

void Alert::runModal() {
    if (presenter()) {
        Ref<Alert> keep(this);
        presenter()(*this);
        return;
    }
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return;
    QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(), qText(messageText_.get()),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.setInformativeText(qText(informativeText_.get()));
    box.exec();
}

} // namespace platform
