// The built panes as the Preferences application loads them: both in one
// process, their bound labels, every text fitting its room in every style,
// the KestrelPrefs lifecycle, and Install and Remove through the real helper
// (as root, in the sandbox).

#include "PreferencePanes/Preferences/PaneSlot.h"

#include "AppKit/NibLoader.h"
#include "Foundation/Exception.h"
#include "Foundation/String.h"
#include "Foundation/Timer.h"
#include "PreferencePanes/PreferencePane.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

using namespace platform;
namespace fs = std::filesystem;

namespace {

const std::string kKestrel = std::string(PRODUCTS_DIR) + "/KestrelPrefs.prefPane";
const std::string kSidelight = std::string(PRODUCTS_DIR) + "/SidelightPane.prefPane";

std::vector<std::string> texts(QWidget* view) {
    std::vector<std::string> found;
    for (QLabel* label : view->findChildren<QLabel*>()) found.push_back(label->text().toStdString());
    for (QLineEdit* field : view->findChildren<QLineEdit*>()) found.push_back(field->text().toStdString());
    return found;
}

bool shows(QWidget* view, const std::string& text) {
    const std::vector<std::string> all = texts(view);
    return std::find(all.begin(), all.end(), text) != all.end();
}

// The nth button with this title.
QAbstractButton* button(QWidget* view, const QString& title, int nth = 0) {
    for (QAbstractButton* candidate : view->findChildren<QAbstractButton*>()) {
        if (candidate->text() == title && nth-- == 0) return candidate;
    }
    return nullptr;
}

// Lets the event loop (and so the refresh timers) run until `shown` holds.
bool waitUntil(const std::function<bool()>& shown, int seconds = 30) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!shown() && std::chrono::steady_clock::now() < deadline) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return shown();
}

void saveScreenshot(QWidget* view, const std::string& name) {
    fs::create_directories(SCREENSHOT_DIR);
    view->resize(620, 480);
    view->grab().save(QString::fromStdString(std::string(SCREENSHOT_DIR) + "/" + name + ".png"));
}

const void* imageOf(const PaneSlot& slot) { return slot.pane()->objectClass().image(); }

Timer* refresherOf(const PaneSlot& slot, const char* controller) {
    return objectAs<Timer>(slot.pane()->loadedNib()->objectNamed(controller)->valueForKey("bindingsRefresher").get());
}

} // namespace

TEST(Panes, BothLoadInOneProcessWithTheirOwnClasses) {
    PaneSlot kestrel(kKestrel);
    PaneSlot sidelight(kSidelight);
    ASSERT_TRUE(kestrel.load()) << kestrel.error();
    ASSERT_TRUE(sidelight.load()) << sidelight.error();
    EXPECT_EQ(kestrel.name(), "Kestrel");
    EXPECT_EQ(kestrel.pane()->objectClass().name(), "KestrelPrefs");
    EXPECT_EQ(sidelight.pane()->objectClass().name(), "com_fernhill_SidelightPref");

    const void* k = imageOf(kestrel);
    const void* s = imageOf(sidelight);
    ASSERT_NE(k, s);
    for (const char* name : {"KestrelPrefs_PrivetBundlePayloadController", "KestrelPrefs_PrivetToolController"}) {
        EXPECT_EQ(Class::named(name, k)->image(), k) << name;  // in all three deliverables,
        EXPECT_EQ(Class::named(name, s)->image(), s) << name;  // each finds its own
    }
    for (const char* name : {"KestrelPrefs_PrivetToolBase", "KestrelPrefs_PrivetToolController_Base",
                             "KestrelPrefs_PrivetBundlePayloadController_Base"}) {
        EXPECT_EQ(Class::named(name, k)->image(), k) << name;
    }
    for (const char* name : {"PrivetTool", "PrivetToolController", "PrivetBundlePayloadController",
                             "OspreyPrefs_PrivetBundlePayloadController", "OspreyPrefs_PrivetToolController"}) {
        EXPECT_EQ(Class::named(name, s)->image(), s) << name;
        EXPECT_NE(Class::named(name, k)->image(), k) << name;  // KestrelPrefs has none of these
    }
    // Each pane exports its link anchors.
    void* handle = dlopen((kKestrel + "/Contents/Linux/KestrelPrefs.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    auto anchor = reinterpret_cast<int (*)()>(dlsym(handle, "import_PrivetBundlePayloadController"));
    ASSERT_NE(anchor, nullptr);
    EXPECT_EQ(anchor(), 1);
    dlclose(handle);
}

TEST(Panes, BoundLabelsShowEachPayload) {
    PaneSlot kestrel(kKestrel);
    PaneSlot sidelight(kSidelight);
    ASSERT_TRUE(kestrel.load() && sidelight.load());
    EXPECT_TRUE(shows(kestrel.view(), "Fernhill Digitizer 1.8"));
    EXPECT_TRUE(shows(kestrel.view(), "/Library/QuickTime/FernhillDigitizer.component"));
    EXPECT_TRUE(shows(sidelight.view(), "Fernhill Camera 2.3.1"));
    EXPECT_TRUE(shows(sidelight.view(), "/Library/CoreMediaIO/Plug-Ins/DAL/FernhillCamera.plugin"));
    if (getenv("PRIVET_TEST_SANDBOX")) {  // the sandbox's Library folders start empty
        EXPECT_TRUE(shows(kestrel.view(), "NOT INSTALLED"));
        EXPECT_TRUE(button(kestrel.view(), "Install")->isEnabled());
        EXPECT_FALSE(button(kestrel.view(), "Remove")->isEnabled());
    }
    // The unsupported payload shows nothing and offers nothing.
    EXPECT_FALSE(button(sidelight.view(), "Install", 1)->isEnabled());
    saveScreenshot(kestrel.view(), "KestrelPrefs");
    saveScreenshot(sidelight.view(), "SidelightPane");
}

TEST(Panes, EveryTextFitsItsRoomInEveryStyleAndAtALargeFont) {
    const QString originalStyle = QApplication::style()->name();
    const QFont originalFont = QApplication::font();
    for (const QString& style : QStyleFactory::keys()) {
        for (const int points : {0, 15}) {
            QApplication::setStyle(style);
            QFont font = originalFont;
            if (points) font.setPointSize(points);
            QApplication::setFont(font);
            for (const std::string& path : {kKestrel, kSidelight}) {
                PaneSlot pane(path);
                ASSERT_TRUE(pane.load()) << pane.error();
                QWidget* view = pane.view();
                view->show();
                QApplication::processEvents();
                const std::string where = style.toStdString() + " " + std::to_string(points) + " pt, " + pane.name();
                for (QLabel* label : view->findChildren<QLabel*>()) {
                    if (!label->isVisible()) continue;
                    EXPECT_GE(label->contentsRect().width(), label->fontMetrics().horizontalAdvance(label->text()))
                        << where << ": \"" << label->text().toStdString() << "\"";
                }
                // Values start in one column, however wide their captions grew.
                std::set<int> valueColumns;
                for (QLabel* caption : view->findChildren<QLabel*>()) {
                    if (caption->isVisible() && caption->buddy()) {
                        valueColumns.insert(caption->buddy()->mapTo(view, QPoint(0, 0)).x());
                    }
                }
                EXPECT_EQ(valueColumns.size(), 1u) << where;
                for (QLineEdit* field : view->findChildren<QLineEdit*>()) {
                    if (!field->isVisible()) continue;
                    // A line edit keeps two pixels clear on either side of its text.
                    const QMargins margins = field->textMargins();
                    EXPECT_GE(field->contentsRect().width() - margins.left() - margins.right() - 4,
                              field->fontMetrics().horizontalAdvance(field->text()))
                        << where << ": \"" << field->text().toStdString() << "\"";
                }
                for (QAbstractButton* control : view->findChildren<QAbstractButton*>()) {
                    if (!control->isVisible()) continue;
                    EXPECT_GE(control->width(), control->sizeHint().width())
                        << where << ": \"" << control->text().toStdString() << "\"";
                }
                view->hide();
            }
        }
    }
    QApplication::setStyle(originalStyle);
    QApplication::setFont(originalFont);
}

TEST(KestrelPrefsLifecycle, RefreshesWhileShownAndStopsWhenLeft) {
    PaneSlot kestrel(kKestrel);
    ASSERT_TRUE(kestrel.load());
    Ref<Timer> afterLoad(refresherOf(kestrel, "digitizer"));
    ASSERT_TRUE(afterLoad);  // awakeFromNib started it
    kestrel.pane()->didSelect();
    EXPECT_EQ(refresherOf(kestrel, "digitizer"), afterLoad.get());  // no second timer
    kestrel.pane()->didUnselect();
    EXPECT_EQ(refresherOf(kestrel, "digitizer"), nullptr);
    EXPECT_FALSE(afterLoad->isValid());
    kestrel.pane()->didSelect();
    ASSERT_NE(refresherOf(kestrel, "digitizer"), nullptr);
    EXPECT_TRUE(refresherOf(kestrel, "digitizer")->isValid());
}

TEST(KestrelPrefsLifecycle, WithoutItsOutletSelectionReportsAndLeavingDoesNothing) {
    PaneSlot kestrel(kKestrel);
    ASSERT_TRUE(kestrel.load());
    Ref<Object> bare = Class::named("KestrelPrefs", imageOf(kestrel))->createInstance();
    auto* pane = static_cast<PreferencePane*>(bare.get());
    pane->didUnselect();
    try {
        pane->didSelect();
        FAIL() << "no exception";
    } catch (const RaisedException& raised) {
        EXPECT_TRUE(raised.name()->isEqualToString(NSInternalInconsistencyException));
        EXPECT_EQ(raised.reason()->text(), "payloadController IBOutlet not set");
    }
}

// Clicks Install and Remove; the real helper runs as root in the sandbox.
TEST(PanesInSandbox, InstallAndRemoveShowTheOutcome) {
    if (getenv("PRIVET_TEST_SANDBOX") == nullptr || geteuid() != 0) GTEST_SKIP() << "runs as root in the sandbox";
    for (const auto& [path, title, installed, copy] :
         {std::tuple{kKestrel, "KestrelPrefs", "Fernhill Digitizer 1.8 (IS UP TO DATE)",
                     "/Library/QuickTime/FernhillDigitizer.component"},
          std::tuple{kSidelight, "SidelightPane", "Fernhill Camera 2.3.1 (IS UP TO DATE)",
                     "/Library/CoreMediaIO/Plug-Ins/DAL/FernhillCamera.plugin"}}) {
        PaneSlot slot(path);
        ASSERT_TRUE(slot.load());
        QWidget* view = slot.view();
        view->show();
        button(view, "Install")->click();
        ASSERT_TRUE(waitUntil([&] { return shows(view, installed); })) << title;
        EXPECT_TRUE(waitUntil([&] { return button(view, "Remove")->isEnabled(); }));
        EXPECT_FALSE(button(view, "Install")->isEnabled());
        EXPECT_FALSE(button(view, "Update")->isEnabled());
        saveScreenshot(view, std::string(title) + "-installed");
        // A damaged copy: Update is offered, and repairs it.
        std::ofstream(std::string(copy) + "/Contents/Info.plist", std::ios::trunc).flush();
        ASSERT_TRUE(waitUntil([&] { return button(view, "Update")->isEnabled(); })) << title;
        EXPECT_TRUE(shows(view, "The installed copy is damaged: its Info.plist cannot be read. Update repairs it."));
        button(view, "Update")->click();
        ASSERT_TRUE(waitUntil([&] { return shows(view, installed); })) << title;
        EXPECT_TRUE(waitUntil([&] { return !button(view, "Update")->isEnabled(); })) << title;
        button(view, "Remove")->click();
        ASSERT_TRUE(waitUntil([&] { return shows(view, "NOT INSTALLED"); })) << title;
        view->hide();
    }
}

// PaneHarness: its window, from its own main interface file.
TEST(PaneHarness, ShowsItsPayloadsInAWindow) {
    fs::create_directories(SCREENSHOT_DIR);
    const std::string screenshot = std::string(SCREENSHOT_DIR) + "/PaneHarness.png";
    fs::remove(screenshot);
    const std::string command = "QT_QPA_PLATFORM=offscreen '" + std::string(PRODUCTS_DIR) +
                                "/PaneHarness.app/Contents/Linux/PaneHarness' --screenshot '" + screenshot +
                                "' 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    QPixmap picture;
    ASSERT_TRUE(picture.load(QString::fromStdString(screenshot)));
    EXPECT_GT(picture.width(), 300);
    EXPECT_GT(picture.height(), 200);

    // Asked to report its first paint, it does so and quits by itself.
    const std::string report = std::string(SCREENSHOT_DIR) + "/PaneHarness-first-paint";
    const std::string probed = "QT_QPA_PLATFORM=offscreen PRIVET_FIRST_PAINT_FD=3 timeout 20 '" +
                               std::string(PRODUCTS_DIR) + "/PaneHarness.app/Contents/Linux/PaneHarness' 2>/dev/null 3>'" +
                               report + "'";
    EXPECT_EQ(std::system(probed.c_str()), 0);
    std::ifstream in(report);
    long long painted = 0;
    std::string rest;
    EXPECT_TRUE(in >> painted && painted > 0 && !(in >> rest));
}
