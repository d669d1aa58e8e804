// The baseline of Preferences' start-up: the same window and panes, each
// pane's code run here at once, without first trying it in a process of its
// own. Built for the start-up benchmark only; never shipped.
//
//   preferences_untried --select NAME PANE.prefPane...

#include "AppKit/EventLoopBridge.h"
#include "AppKit/FirstPaint.h"
#include "PreferencePanes/Preferences/PreferencesOptions.h"
#include "PreferencePanes/Preferences/PreferencesWindow.h"
#include "objc/AutoreleasePool.h"

#include <QApplication>

#include <cstdio>

using namespace platform;

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const PreferencesOptions options = parsePreferencesOptions(std::vector<std::string>(argv + 1, argv + argc));
    const FirstPaintProbe probe = FirstPaintProbe::fromEnvironment();
    if (!options.error.empty() || !probe.error.empty() || probe.fd < 0) {
        std::fputs("preferences_untried: needs --select NAME, panes, and PRIVET_FIRST_PAINT_FD\n", stderr);
        return 2;
    }
    EventLoopBridge bridge;
    AutoreleasePool pool;
    PreferencesWindow window(options.paths);
    window.show();
    window.selectPane(window.indexOfPaneNamed(options.select));
    probe.watch(window.shownContent(), window.selectedPane() >= 0 ? 0 : 1);
    return QApplication::exec();
}
