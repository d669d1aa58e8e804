// The preferences application: lists the pane bundles it finds and shows
// the one selected.

#include "AppKit/DesktopCitizen.h"
#include "AppKit/EventLoopBridge.h"
#include "AppKit/FirstPaint.h"
#include "PreferencePanes/Preferences/PaneSearch.h"
#include "PreferencePanes/Preferences/PaneSlot.h"
#include "PreferencePanes/Preferences/PaneTrials.h"
#include "PreferencePanes/Preferences/PreferencesOptions.h"
#include "PreferencePanes/Preferences/PreferencesWindow.h"
#include "PreferencePanes/Preferences/ShownPaneMemory.h"
#include "Foundation/CommandLine.h"
#include "objc/AutoreleasePool.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <string>
#include <vector>

using namespace platform;

namespace {

// How long the window is given to show a selected pane before a screenshot.
constexpr int kScreenshotDelay = 300;

#ifndef PRIVET_APP_ID
#error "PRIVET_APP_ID is the desktop file's id, PRIVET_APP_NAME the name its launcher shows"
#endif

// The pane the window will show first, as far as it can be told before Qt
// has taken its own options: the one --select names, else the first listed.
std::string paneShownFirst(int argc, char** argv) {
    const PreferencesOptions options = parsePreferencesOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!options.error.empty()) return {};
    AutoreleasePool pool;
    for (const std::string& path : findPaneBundles(standardPaneFolders(), options.paths)) {
        if (options.select.empty() || PaneSlot(path).name() == options.select) return path;
    }
    return {};
}

} // namespace

int main(int argc, char** argv) {
    // Before Qt, which needs a display for anything else.
    if (const auto status = answerInformationRequest(argc, argv, "Preferences", preferencesUsage("Preferences"))) {
        return *status;
    }
    // Forked while this process has one thread: before Qt starts any.
    PaneTrials trials;
    trials.tryEarly(paneShownFirst(argc, argv));
    QApplication application(argc, argv);
    adoptDesktopIdentity({QStringLiteral(PRIVET_APP_ID), QStringLiteral(PRIVET_APP_NAME),
                          QStringLiteral("privet-preferences")});
    const PreferencesOptions options = parsePreferencesOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!options.error.empty()) {
        std::fputs(badUsageText("Preferences", options.error).c_str(), stderr);
        return 2;
    }
    const FirstPaintProbe probe = FirstPaintProbe::fromEnvironment();
    if (!probe.error.empty()) {
        std::fprintf(stderr, "Preferences: %s\n", probe.error.c_str());
        return 2;
    }
    EventLoopBridge bridge;
    AutoreleasePool pool;

    std::vector<std::string> problems;
    ShownPaneMemory memory(ShownPaneMemory::standardFile());
    PreferencesWindow window(findPaneBundles(standardPaneFolders(), options.paths, &problems), &trials, &memory);
    for (const std::string& problem : problems) std::fprintf(stderr, "Preferences: %s\n", problem.c_str());
    window.show();

    if (!options.select.empty()) {
        const int index = window.indexOfPaneNamed(options.select);
        if (index < 0) {
            std::fprintf(stderr, "Preferences: no pane is named \"%s\"\n", options.select.c_str());
            return 1;
        }
        window.selectPane(index);
    }
    // The first paint of what the content area shows once the selected pane
    // is shown; the status, as for a screenshot, tells whether it loaded.
    window.whenSelectionShown([&window, &probe, &options] {
        const int chosen = window.selectedPane();
        const bool loaded = chosen < 0 || window.paneAt(static_cast<std::size_t>(chosen)).isLoaded();
        probe.watch(window.shownContent(), loaded ? 0 : 1);
        if (options.screenshot.empty()) return;
        // The picture is saved either way; the status tells whether the selected pane loaded.
        QTimer::singleShot(kScreenshotDelay, &window, [&window, file = options.screenshot, loaded] {
            const bool saved = window.grab().save(QString::fromStdString(file), "PNG");
            if (!saved) std::fprintf(stderr, "Preferences: cannot save a screenshot to %s\n", file.c_str());
            QApplication::exit(saved && loaded ? 0 : 1);
        });
    });
    const int status = QApplication::exec();
    memory.forget();
    return status;
}
