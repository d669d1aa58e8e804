// A preference pane for the tests, built twice (TEST_PANE_NAME "Alpha" and
// "Beta"): a principal class that logs each step of its life, and classes
// whose names both panes share; PaneReporter tells which pane it is from.
// Built with TEST_PANE_FAULT_AT (load, create, view, select, later) and
// TEST_PANE_FAULT (crash, exit, hang), it fails there as a third party's
// pane might: "later" is a crash half a second after it was selected.

#include "Foundation/Log.h"
#include "Foundation/String.h"
#include "PreferencePanes/PreferencePane.h"
#include "objc/KeyValueObserving.h"

#ifdef TEST_PANE_WITH_PAYLOADS
#include "PrivetTool/PrivetBundlePayloadController.h"
// Ties the payload library's classes into this pane.
[[maybe_unused]] static const int payloadLibrary = import_PrivetBundlePayloadController();
#endif

#ifdef TEST_PANE_FAULT
#include <QTimer>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>
#endif

using namespace platform;

namespace {

#ifdef TEST_PANE_FAULT
void fail() {
    const std::string_view fault = TEST_PANE_FAULT;
    if (fault == "exit") std::exit(3);
    if (fault == "hang") {
        for (;;) pause();
    }
    // A crash the way it reaches the host, whatever a sanitizer would make of it.
    signal(SIGSEGV, SIG_DFL);
    raise(SIGSEGV);
}

// Fails when `step` is where this pane was built to.
void faultAt(std::string_view step) {
    if (step != TEST_PANE_FAULT_AT) return;
    if (step == "later") {
        QTimer::singleShot(500, [] { fail(); });
        return;
    }
    fail();
}

[[maybe_unused]] const bool loadFault = (faultAt("load"), true);
#else
void faultAt(const char*) {}
#endif

class TestPanePrefs : public PreferencePane {
public:
    PLATFORM_CLASS_RECORD

    TestPanePrefs() { faultAt("create"); }

    void mainViewDidLoad() override {
        note("mainViewDidLoad");
        faultAt("view");
    }
    void willSelect() override { note("willSelect"); }
    void didSelect() override {
        note("didSelect");
        faultAt("select");
        faultAt("later");
    }
    void willUnselect() override { note("willUnselect"); }
    void didUnselect() override { note("didUnselect"); }

    Object* reporter = nullptr;

private:
    static void note(const char* step) { NSLog("PaneLifecycle %s %s", TEST_PANE_NAME, step); }
};

const Class TestPanePrefs::classRecord{
    TEST_PANE_NAME "PanePrefs", &PreferencePane::classRecord, Class::factoryOf<TestPanePrefs>(), {},
    {{"reporter", [](Object& self) { return Ref<Object>(static_cast<TestPanePrefs&>(self).reporter); },
      [](Object& self, Object* value) { static_cast<TestPanePrefs&>(self).reporter = value; }}}};

class PaneReporter : public Object {
public:
    PLATFORM_CLASS_RECORD
    Ref<String> paneName() const { return make<String>(TEST_PANE_NAME); }
};

const Class PaneReporter::classRecord{"PaneReporter", &Object::classRecord, Class::factoryOf<PaneReporter>(), {},
                                      {{"paneName", getter(&PaneReporter::paneName), nullptr}}};

// Settings a pane's controls can change.
class PaneSettings : public Object {
public:
    PLATFORM_CLASS_RECORD

    bool sharing() const { return sharing_; }
    void setSharing(bool sharing) {
        const KeyValueChange automatic(*this, "sharing");
        sharing_ = sharing;
    }

private:
    bool sharing_ = false;
};

const Class PaneSettings::classRecord{"PaneSettings", &Object::classRecord, Class::factoryOf<PaneSettings>(), {},
                                      {{"sharing", getter(&PaneSettings::sharing), setter(&PaneSettings::setSharing)}}};

} // namespace
