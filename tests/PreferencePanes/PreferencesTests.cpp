// The preferences window with the two test panes, in this process.

#include "AppKit/View.h"
#include "Foundation/FileManager.h"
#include "Foundation/ProcessStatus.h"
#include "PreferencePanes/PaneTrial.h"
#include "PreferencePanes/PreferencePane.h"
#include "PreferencePanes/Preferences/PaneSearch.h"
#include "PreferencePanes/Preferences/PreferencesWindow.h"
#include "PreferencePanes/Preferences/ShownPaneMemory.h"
#include "support/GuiTest.h"
#include "support/StderrCapture.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;
using namespace platform;

namespace {

const std::string kAlpha = TEST_PANES_DIR "/Alpha.prefPane";
const std::string kBeta = TEST_PANES_DIR "/Beta.prefPane";

// The lifecycle steps the test panes logged, as "Pane step".
std::vector<std::string> lifecycleSteps(const std::string& log) {
    std::vector<std::string> steps;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        if (auto at = line.find("PaneLifecycle "); at != std::string::npos) steps.push_back(line.substr(at + 14));
    }
    return steps;
}

// The text of the field named in a pane's interface file.
std::string fieldText(QWidget* view, const char* text) {
    for (QLabel* label : view->findChildren<QLabel*>()) {
        if (label->text() == text) return text;
    }
    for (QLineEdit* field : view->findChildren<QLineEdit*>()) {
        if (field->text() == text) return text;
    }
    return {};
}

void writeInfo(const fs::path& bundle, const std::string& name, const std::string& executable, const std::string& principal) {
    testsupport::writeFile(bundle / "Contents/Info.plist",
                           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                           "<key>CFBundleName</key><string>" + name + "</string>"
                           "<key>CFBundleExecutable</key><string>" + executable + "</string>" +
                           (principal.empty() ? "" : "<key>NSPrincipalClass</key><string>" + principal + "</string>") +
                           "<key>NSMainNibFile</key><string>Beta</string></dict></plist>\n");
}

class PreferencesTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    // The payload of Alpha is looked for in throwaway Library folders.
    LibraryFoldersOverride libraries{{(dir.path() / "home/Library").string(), (dir.path() / "Library").string(),
                                      (dir.path() / "System/Library").string()}};
    testsupport::AlertRecorder alerts;
};

} // namespace

TEST_F(PreferencesTest, ListsThePanesOfTheLibraryFoldersAndTheCommandLineOnceEachByName) {
    fs::create_directories(dir.path() / "home/Library/PreferencePanes");
    fs::create_directories(dir.path() / "Library/PreferencePanes");
    fs::create_symlink(kBeta, dir.path() / "home/Library/PreferencePanes/Beta.prefPane");
    fs::create_symlink(kAlpha, dir.path() / "Library/PreferencePanes/Alpha.prefPane");
    fs::create_directories(dir.path() / "Library/PreferencePanes/NotAPane");

    std::vector<std::string> problems;
    const std::vector<std::string> found =
        findPaneBundles(standardPaneFolders(), {kAlpha, TEST_PANES_DIR, (dir.path() / "missing").string()}, &problems);
    EXPECT_EQ(found, (std::vector<std::string>{(dir.path() / "home/Library/PreferencePanes/Beta.prefPane").string(),
                                               (dir.path() / "Library/PreferencePanes/Alpha.prefPane").string()}));
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("missing is neither a pane bundle"), std::string::npos);

    PreferencesWindow window({kAlpha, kBeta});
    ASSERT_EQ(window.paneCount(), 2u);
    EXPECT_EQ(window.paneAt(0).name(), "Alpha");
    EXPECT_EQ(window.indexOfPaneNamed("Beta"), 1);
    EXPECT_EQ(window.indexOfPaneNamed("Gamma"), -1);
    EXPECT_FALSE(window.paneAt(0).isLoaded());  // nothing is loaded before it is selected
}

TEST_F(PreferencesTest, ThePaneListShowsWhetherTheKeyboardActsOnIt) {
    PreferencesWindow window({kAlpha, kBeta});
    window.show();
    window.activateWindow();
    for (int tick = 0; tick < 100 && QApplication::activeWindow() != &window; ++tick) QApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), &window);
    auto* list = window.findChild<QListWidget*>();
    const auto selection = [list] { return list->palette().color(QPalette::Active, QPalette::Highlight); };
    list->setFocus();
    QApplication::processEvents();
    const QColor focused = selection();
    EXPECT_EQ(focused, QApplication::palette(list).color(QPalette::Active, QPalette::Highlight));
    list->clearFocus();
    QApplication::processEvents();
    EXPECT_NE(selection(), focused);
}

TEST_F(PreferencesTest, SelectingPanesLoadsEachOnceAndSendsTheLifecycleInOrder) {
    PreferencesWindow window({kAlpha, kBeta});
    window.show();
    testsupport::StderrCapture capture;
    window.selectPane(0);
    EXPECT_TRUE(window.paneAt(0).view()->isVisible());
    window.selectPane(1);
    window.selectPane(0);
    EXPECT_EQ(lifecycleSteps(capture.finish()),
              (std::vector<std::string>{"Alpha mainViewDidLoad", "Alpha willSelect", "Alpha didSelect",
                                        "Alpha willUnselect", "Beta mainViewDidLoad", "Beta willSelect",
                                        "Alpha didUnselect", "Beta didSelect",
                                        "Beta willUnselect", "Alpha willSelect", "Beta didUnselect", "Alpha didSelect"}));
    EXPECT_EQ(window.shownContent(), window.paneAt(0).view());
    EXPECT_EQ(window.windowTitle(), "Alpha");
    EXPECT_TRUE(alerts.texts.empty());
}

TEST_F(PreferencesTest, ClassesOfTheSameNameInTwoPanesDoNotMix) {
    PreferencesWindow window({kAlpha, kBeta});
    window.selectPane(0);
    window.selectPane(1);
    ASSERT_TRUE(window.paneAt(0).isLoaded() && window.paneAt(1).isLoaded());
    for (std::size_t i = 0; i < 2; ++i) {
        PreferencePane* pane = window.paneAt(i).pane();
        const std::string name = window.paneAt(i).name();
        EXPECT_EQ(pane->objectClass().name(), name + "PanePrefs");
        Ref<Object> reporter = pane->valueForKey("reporter");
        ASSERT_TRUE(reporter);
        EXPECT_EQ(reporter->objectClass().name(), "PaneReporter");
        EXPECT_EQ(reporter->objectClass().image(), pane->objectClass().image());
        // The pane's own view shows its own reporter's answer.
        EXPECT_EQ(fieldText(window.paneAt(i).view(), name.c_str()), name);
    }
    EXPECT_NE(window.paneAt(0).pane()->objectClass().image(), window.paneAt(1).pane()->objectClass().image());
}

TEST_F(PreferencesTest, APaneThatCannotBeLoadedShowsWhyInTheContentArea) {
    const fs::path garbage = dir.path() / "Garbage.prefPane";
    writeInfo(garbage, "Garbage", "Garbage.so", "BetaPanePrefs");
    testsupport::writeFile(garbage / "Contents/Linux/Garbage.so", "not code");

    const fs::path badInterface = dir.path() / "BadInterface.prefPane";
    fs::copy(kBeta, badInterface, fs::copy_options::recursive);
    writeInfo(badInterface, "Bad Interface", "Beta.so", "BetaPanePrefs");
    testsupport::writeFile(badInterface / "Contents/Resources/Beta.nib", "NSStackView paneView {\n  bogus = 1\n}\n");

    const fs::path foreign = dir.path() / "Foreign.prefPane";
    fs::copy(kBeta, foreign, fs::copy_options::recursive);
    writeInfo(foreign, "Foreign", "Beta.so", "NSPreferencePane");  // not a class of its own code

    const fs::path nameless = dir.path() / "Nameless.prefPane";
    fs::copy(kBeta, nameless, fs::copy_options::recursive);
    writeInfo(nameless, "Nameless", "Beta.so", "");

    PreferencesWindow window({garbage.string(), badInterface.string(), foreign.string(), nameless.string(), kBeta});
    const std::vector<std::string> reasons = {
        "Its code cannot be loaded: " + (garbage / "Contents/Linux/Garbage.so").string(),
        (badInterface / "Contents/Resources/Beta.nib").string() + ":2: NSStackView has no key \"bogus\"",
        "Its code defines no class \"NSPreferencePane\"",
        "Its Info.plist names no principal class (NSPrincipalClass)",
    };
    for (std::size_t i = 0; i < reasons.size(); ++i) {
        window.selectPane(static_cast<int>(i));
        EXPECT_TRUE(window.paneAt(i).hasFailed());
        EXPECT_EQ(window.paneAt(i).pane(), nullptr);
        auto* page = qobject_cast<QLabel*>(window.shownContent());
        EXPECT_TRUE(page && page->text() == window.errorText());
        EXPECT_NE(window.errorText().toStdString().find(reasons[i]), std::string::npos)
            << window.errorText().toStdString();
    }
    window.selectPane(4);  // the window goes on
    EXPECT_EQ(window.shownContent(), window.paneAt(4).view());
}

TEST_F(PreferencesTest, AnExceptionFromAPaneActionIsShownInAnAlert) {
    PreferencesWindow window({kAlpha});
    window.selectPane(0);
    QWidget* view = window.paneAt(0).view();
    ASSERT_TRUE(view);
    EXPECT_FALSE(fieldText(view, "NOT INSTALLED").empty());
    QPushButton* install = nullptr;
    for (QPushButton* button : view->findChildren<QPushButton*>()) {
        if (button->text() == "Install") install = button;
    }
    ASSERT_TRUE(install);
    testsupport::StderrCapture capture;
    install->click();  // the pane carries no helper tool
    const std::string log = capture.finish();
    ASSERT_EQ(alerts.texts.size(), 1u) << log;
    EXPECT_NE(alerts.texts[0].find("installPayload:"), std::string::npos);
    EXPECT_NE(alerts.texts[0].find("(NSInvalidArgumentException)"), std::string::npos) << alerts.texts[0];
    EXPECT_NE(log.find("*** installPayload: raised NSInvalidArgumentException"), std::string::npos);
    EXPECT_TRUE(window.paneAt(0).isLoaded());
}

// The memory of the pane shown: a run that ended without forgetting it left
// its pane noted; the next window holds that pane back, current but not
// loaded, until it is chosen, and notes each pane before it runs its code.
TEST_F(PreferencesTest, APaneLeftNotedByARunThatEndedUnaskedIsHeldBackUntilChosen) {
    const std::string file = (dir.path() / "state/privet/preferences-shown-pane").string();
    ShownPaneMemory(file).note(kBeta);
    ShownPaneMemory memory(file);
    EXPECT_EQ(memory.leftByLastRun(), kBeta);

    PreferencesWindow window({kAlpha, kBeta}, nullptr, &memory);
    window.show();
    QApplication::processEvents();
    EXPECT_EQ(window.selectedPane(), -1);
    EXPECT_FALSE(window.paneAt(1).isLoaded());
    QPushButton* open = nullptr;
    for (QPushButton* button : window.findChildren<QPushButton*>()) {
        if (button->text() == QString::fromUtf8("Open \u201cBeta\u201d")) open = button;
    }
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(window.shownContent(), open->parentWidget());

    open->click();
    EXPECT_EQ(window.selectedPane(), 1);
    EXPECT_EQ(window.shownContent(), window.paneAt(1).view());
    window.selectPane(0);
    EXPECT_EQ(memory.leftByLastRun(), kAlpha);
    memory.forget();
    EXPECT_EQ(ShownPaneMemory(file).leftByLastRun(), "");
}

namespace {

// Dies by the signal itself, whatever a sanitizer would make of it.
[[noreturn]] void dieBy(int signal) {
    ::signal(signal, SIG_DFL);
    raise(signal);
    _exit(99);
}

} // namespace

// Code tried in a process of its own: what it returned, or where it stopped
// and how, in a user's words; a hang is bounded by its step, not by the whole.
TEST(PaneTrial, SaysWhereAndHowTheCodeStopped) {
    using std::chrono::seconds;
    const struct {
        const char* what;
        std::function<std::string(TrialSteps&)> work;
        const char* said;
    } cases[] = {
        {"returns", [](TrialSteps& steps) { steps.begin("loading"); return std::string("fine"); }, ""},
        {"crashes", [](TrialSteps& steps) -> std::string { steps.begin("loading its view"); dieBy(SIGSEGV); },
         "stopped while loading its view: it crashed (segmentation fault)"},
        {"exits", [](TrialSteps& steps) -> std::string { steps.begin("being created"); _exit(3); },
         "stopped while being created: it exited with status 3"},
        {"raises", [](TrialSteps& steps) -> std::string { steps.begin("loading"); throw std::runtime_error("no nib"); },
         "stopped while loading: it raised no nib"},
        {"hangs", [](TrialSteps& steps) -> std::string { steps.begin("being selected", seconds(1)); for (;;) pause(); },
         "did not finish being selected within 1 seconds"},
        {"takes each step in time",
         [](TrialSteps& steps) {
             for (const char* step : {"loading", "loading its view"}) {
                 steps.begin(step, seconds(1));
                 std::this_thread::sleep_for(std::chrono::milliseconds(700));
             }
             return std::string("fine");
         },
         ""},
    };
    for (const auto& [what, work, said] : cases) {
        const auto started = std::chrono::steady_clock::now();
        const TrialEnd end = runInProcessOfItsOwn(work);
        EXPECT_LT(std::chrono::steady_clock::now() - started, seconds(5)) << what;  // the default bound is 10 s
        EXPECT_EQ(end.finished, *said == '\0') << what;
        EXPECT_EQ(end.failure, said) << what;
        if (end.finished) {
            EXPECT_EQ(end.result, "fine") << what;
        }
    }
}

// What the code started is ended with it, and a process that kept its pipe
// open does not hold the answer up.
TEST(PaneTrial, WhatTheCodeLeftRunningEndsWithItsTry) {
    testsupport::TempDir dir;
    const fs::path pidFile = dir.path() / "left";
    const auto started = std::chrono::steady_clock::now();
    const TrialEnd end = runInProcessOfItsOwn([&](TrialSteps&) {
        if (const pid_t left = fork(); left == 0) {
            for (;;) pause();
        } else {
            std::ofstream(pidFile) << left;
        }
        return std::string("fine");
    });
    EXPECT_TRUE(end.finished) << end.failure;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    pid_t left = 0;
    std::ifstream(pidFile) >> left;
    ASSERT_GT(left, 0);
    std::optional<std::vector<std::string>> fields;
    for (int tries = 0; tries < 50 && (fields = processStatusFields(left)) && fields->at(0) != "Z"; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(!fields || fields->at(0) == "Z") << "the process the code left is still running";
}

