#include "AppKit/Application.h"

#include "AppKit/ActionBoundary.h"
#include "AppKit/DesktopCitizen.h"
#include "AppKit/EventLoopBridge.h"
#include "AppKit/FirstPaint.h"
#include "AppKit/NibLoader.h"
#include "AppKit/View.h"
#include "AppKit/Window.h"
#include "Foundation/Bundle.h"
#include "Foundation/CommandLine.h"
#include "Foundation/Dictionary.h"
#include "Foundation/Exception.h"
#include "Foundation/Log.h"
#include "Foundation/String.h"
#include "objc/AutoreleasePool.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <string>
#include <string_view>

#include <sys/auxv.h>

namespace platform {

const Class Application::classRecord{
    "NSApplication", &Object::classRecord, Class::factoryOf<Application>(),
    {{"terminate:", method(&Application::terminate)}},
    {{"delegate", [](Object& self) { return Ref<Object>(static_cast<Application&>(self).delegate()); },
      [](Object& self, Object* value) { static_cast<Application&>(self).setDelegate(value); }}}};

namespace {
Ref<Application>& shared() {
    static Ref<Application> application;
    return application;
}

// The image of the program itself, where its own classes live.
const void* mainImage() { return Class::imageContaining(reinterpret_cast<const void*>(getauxval(AT_PHDR))); }

String* infoString(Bundle* bundle, std::string_view key) {
    return bundle ? objectAs<String>(bundle->infoDictionary()->objectForKey(key)) : nullptr;
}

// The application object the main bundle asks for.
Ref<Application> makeApplication(Bundle* bundle) {
    String* name = infoString(bundle, "NSPrincipalClass");
    if (name == nullptr) return make<Application>();
    const Class* cls = Class::named(name->text(), mainImage());
    if (cls == nullptr || !cls->isSubclassOfClass(Application::classRecord)) {
        NSLog("NSPrincipalClass %@ is not an application class", name);
        return nullptr;
    }
    Ref<Object> made = cls->createInstance();
    return Ref<Application>(objectAs<Application>(made.get()));
}

// The command line an application understands once Qt has taken its own
// options: --screenshot FILE, which saves the first window as a PNG once it
// has been laid out and refreshed, and ends (for documentation and tests).
struct ApplicationOptions {
    QString screenshot;
    std::string error;  // set when the command line cannot be used
};

ApplicationOptions parseApplicationOptions(int argc, char** argv) {
    ApplicationOptions options;
    for (int i = 1; i < argc && options.error.empty(); ++i) {
        const std::string argument = argv[i];
        if (argument == "--screenshot" && i + 1 < argc) {
            options.screenshot = QString::fromLocal8Bit(argv[++i]);
        } else if (argument == "--screenshot") {
            options.error = "--screenshot needs a value";
        } else if (argument.starts_with("-")) {
            options.error = "unknown option " + argument;
        } else {
            options.error = "unexpected argument " + argument;
        }
    }
    return options;
}

std::string usage(const std::string& program) {
    return "Usage: " + program + " [--screenshot FILE]\n"
           "\n"
           "Opens the application's window.\n"
           "\n"
           "  --screenshot FILE  once the window is shown, save a PNG picture of it to FILE\n"
           "                     and quit\n"
           "  -h, --help         show this text and quit\n"
           "  --version          show the version and quit\n";
}

// The desktop file of an application bundle is named by its identifier in
// lower case; its manual page by CFBundleHelpBookName.
DesktopIdentity desktopIdentity(Bundle* bundle) {
    auto info = [bundle](std::string_view key) {
        String* value = infoString(bundle, key);
        return value ? QString::fromStdString(value->text()) : QString();
    };
    return {info(kCFBundleIdentifierKey->text()).toLower(), info(kCFBundleNameKey->text()), info("CFBundleHelpBookName")};
}

void tellDelegate(Application& application, const char* selector) {
    Object* delegate = application.delegate();
    if (delegate && delegate->respondsToSelector(selector)) sendAction(selector, delegate, &application);
}
} // namespace

Application* Application::sharedApplication() {
    if (!shared()) shared() = make<Application>();
    return shared().get();
}

void Application::setShared(Ref<Application> application) { shared() = std::move(application); }

int Application::run() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        Exception::raise(NSInternalInconsistencyException, make<String>("run needs a QApplication"));
    }
    return QApplication::exec();
}

void Application::terminate(Object*) { QCoreApplication::exit(0); }

int NSApplicationMain(int argc, char** argv) {
    const std::string_view invoked = argc > 0 ? argv[0] : "application";
    const std::string program(invoked.substr(invoked.find_last_of('/') + 1));
    // Before Qt, which needs a display for anything else.
    if (const std::optional<int> status = answerInformationRequest(argc, argv, program, usage(program))) return *status;
    QApplication qtApplication(argc, argv);
    const ApplicationOptions options = parseApplicationOptions(argc, argv);
    if (!options.error.empty()) {
        std::fputs(badUsageText(program, options.error).c_str(), stderr);
        return 2;
    }
    EventLoopBridge bridge;
    AutoreleasePool pool;
    const FirstPaintProbe probe = FirstPaintProbe::fromEnvironment();
    if (!probe.error.empty()) {
        NSLog("%s", probe.error.c_str());
        return 2;
    }

    Bundle* bundle = Bundle::mainBundle();
    Ref<Application> application = makeApplication(bundle);
    if (!application) return 1;
    Application::setShared(application);
    adoptDesktopIdentity(desktopIdentity(bundle));

    std::unique_ptr<LoadedNib> nib;
    Window* shown = nullptr;
    if (String* nibName = infoString(bundle, "NSMainNibFile")) {
        NibLoader::Result loaded =
            NibLoader(mainImage()).loadFile(NibLoader::pathForNibNamed(*bundle, nibName->text()), application.get());
        if (!loaded) {
            NSLog("Unable to load the main interface file: %s", loaded.error->text().c_str());
            return 1;
        }
        nib = std::move(loaded.nib);
        for (const Ref<Object>& object : nib->objects()) {
            if (auto* window = objectAs<Window>(object.get()); window && window->isVisibleAtLaunch()) {
                if (window->widget()) addStandardShortcuts(*window->widget());
                window->makeKeyAndOrderFront(nullptr);
                if (shown == nullptr) shown = window;
            }
        }
    }

    tellDelegate(*application, "applicationDidFinishLaunching:");
    if (probe.fd >= 0) {
        if (shown == nullptr || !shown->isVisible()) {
            NSLog("PRIVET_FIRST_PAINT_FD: no window is shown");
            return 1;
        }
        probe.watch(shown->contentView() ? shown->contentView()->widget() : shown->widget(), 0);
    }
    if (!options.screenshot.isEmpty()) {
        QTimer::singleShot(1500, [file = options.screenshot] {
            const QWidgetList windows = QApplication::topLevelWidgets();
            for (QWidget* window : windows) {
                if (window->isVisible()) {
                    window->grab().save(file);
                    break;
                }
            }
            QCoreApplication::exit(0);
        });
    }
    const int status = application->run();
    tellDelegate(*application, "applicationWillTerminate:");
    application->setDelegate(nullptr);
    nib.reset();
    return status;
}

} // namespace platform
