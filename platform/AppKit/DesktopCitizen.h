#pragma once

#include <QString>

class QAbstractItemView;
class QWidget;

namespace platform {

// How an application is known to the desktop: the id of its desktop file
// (which docks match to the window's class and app id, and which names its
// icon), the name its launcher shows, and the manual page that helps with it.
struct DesktopIdentity {
    QString desktopId;     // "com.fernhill.privet.preferences"
    QString displayName;   // "Capture Plug-in Preferences"
    QString manualPage;    // "privet-preferences"; empty when there is none
};

// Gives the running QApplication this identity: window class (X11) and app
// id (Wayland) equal to the desktop id, window titles ending in the display
// name, the icon of that id from the icon theme, and windows that screen
// readers read as frames. Before any window is shown.
void adoptDesktopIdentity(const DesktopIdentity& identity);

// The keys desktop applications answer: Ctrl+Q quits, Ctrl+W closes the
// window, F1 shows what the program is, its version and where its help is.
void addStandardShortcuts(QWidget& window);

// The selection of `view` is drawn in the highlight colour while the view
// has the keyboard focus and muted without it, so that where the keyboard
// acts can be seen in any style.
void showKeyboardFocusInSelection(QAbstractItemView& view);

} // namespace platform
