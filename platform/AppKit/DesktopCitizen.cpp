#include "AppKit/DesktopCitizen.h"

#include "Foundation/CommandLine.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QApplication>
#include <QIcon>
#include <QKeySequence>
#include <QMessageBox>
#include <QShortcut>
#include <QWidget>

namespace platform {

namespace {
QString& manualPage() {
    static QString page;
    return page;
}

// A window made of a plain widget reads to a screen reader as a frame named
// by its title, as other applications' windows do; Qt would call it a filler.
QAccessibleInterface* windowAccessible(const QString& className, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (className != QLatin1String("QWidget") || widget == nullptr || !widget->isWindow()) return nullptr;
    return new QAccessibleWidget(widget, QAccessible::Window);
}

void showAbout(QWidget& window) {
    const QString name = QApplication::applicationDisplayName();
    QString text = QStringLiteral("<p><b>%1</b></p><p>Privet %2</p>").arg(name.toHtmlEscaped(), productVersion());
    if (!manualPage().isEmpty()) {
        text += QStringLiteral("<p>Help: its manual page, <tt>man %1</tt>.</p>").arg(manualPage().toHtmlEscaped());
    }
    // Window titles end in the application's name anyway.
    QMessageBox::about(&window, QStringLiteral("About"), text);
}

void drawSelectionFor(QAbstractItemView& view) {
    QPalette palette = QApplication::palette(&view);
    if (!view.hasFocus()) {
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            palette.setColor(group, QPalette::Highlight, palette.color(group, QPalette::Mid));
            palette.setColor(group, QPalette::HighlightedText, palette.color(group, QPalette::Text));
        }
    }
    view.setPalette(palette);
}
} // namespace

void adoptDesktopIdentity(const DesktopIdentity& identity) {
    // The window class is the application name unless a -name or
    // RESOURCE_NAME says otherwise; the Wayland app id is the desktop file's.
    QApplication::setApplicationName(identity.desktopId);
    QGuiApplication::setDesktopFileName(identity.desktopId);
    QApplication::setApplicationDisplayName(identity.displayName);
    QApplication::setWindowIcon(QIcon::fromTheme(identity.desktopId));
    manualPage() = identity.manualPage;
    static bool framesRead = false;
    if (!framesRead) QAccessible::installFactory(windowAccessible);
    framesRead = true;
}

void addStandardShortcuts(QWidget& window) {
    QObject::connect(new QShortcut(QKeySequence::Quit, &window), &QShortcut::activated, &window,
                     [] { QApplication::closeAllWindows(); });
    QObject::connect(new QShortcut(QKeySequence::Close, &window), &QShortcut::activated, &window,
                     [&window] { window.close(); });
    QObject::connect(new QShortcut(QKeySequence::HelpContents, &window), &QShortcut::activated, &window,
                     [&window] { showAbout(window); });
}

void showKeyboardFocusInSelection(QAbstractItemView& view) {
    drawSelectionFor(view);
    auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
    QObject::connect(application, &QApplication::focusChanged, &view, [&view](QWidget* old, QWidget* now) {
        if (old == &view || now == &view) drawSelectionFor(view);
    });
}

} // namespace platform
