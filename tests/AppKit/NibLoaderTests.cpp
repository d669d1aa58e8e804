#include "AppKit/Button.h"
#include "AppKit/NibLoader.h"
#include "AppKit/StackView.h"
#include "AppKit/TextField.h"
#include "AppKit/Window.h"
#include "Foundation/Exception.h"
#include "Foundation/Number.h"
#include "objc/KeyValueObserving.h"
#include "support/GuiTest.h"
#include "support/TempDir.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <dlfcn.h>
#include <gtest/gtest.h>

using namespace platform;

namespace {

std::vector<std::string> events;

// Something an interface file configures: keys of each kind, an outlet, an
// action, and a report of what awakeFromNib found.
class Model : public Object {
public:
    PLATFORM_CLASS_RECORD
    ~Model() override { events.push_back("dealloc " + label()); }

    std::string label() const { return name ? name->text() : std::string("?"); }
    void setName(String* value) { name = value ? value->copy() : nullptr; }
    void setCount(std::int64_t value) { count = value; }
    void setRatio(Object* value) { ratio = Ref<Object>(value); }
    void setEnabled(bool value) {
        const KeyValueChange automatic(*this, "enabled");
        enabled = value;
    }
    void setPartner(Object* value) { partner = objectAs<Model>(value); }
    Ref<String> summary() {
        ++summaryReads;
        return String::stringWithFormat("%@ x%lld", name, static_cast<long long>(count));
    }
    void act(Object* sender) { senders.push_back(sender); }
    void fail(Object*) { Exception::raise(NSInvalidArgumentException, make<String>("no helper tool")); }
    void awakeFromNib() {
        events.push_back("awake " + label() + (partner ? " partner=" + partner->label() : std::string(" no partner")) +
                         (partner && partner->partner ? " partner's partner=" + partner->partner->label() : std::string()));
    }

    Ref<String> name;
    std::int64_t count = 0;
    Ref<Object> ratio;
    bool enabled = false;
    Model* partner = nullptr;
    int summaryReads = 0;
    std::vector<Object*> senders;
};

const Class Model::classRecord{
    "NibTestModel", &Object::classRecord, Class::factoryOf<Model>(),
    {{"act:", method(&Model::act)}, {"fail:", method(&Model::fail)}, {"awakeFromNib", method(&Model::awakeFromNib)}},
    {{"name", [](Object& self) { return Ref<Object>(static_cast<Model&>(self).name); }, setter(&Model::setName)},
     {"count", [](Object& self) { return Ref<Object>(Number::numberWithInteger(static_cast<Model&>(self).count)); },
      setter(&Model::setCount)},
     {"ratio", [](Object& self) { return static_cast<Model&>(self).ratio; }, setter(&Model::setRatio)},
     {"enabled", [](Object& self) { return Ref<Object>(Number::numberWithBool(static_cast<Model&>(self).enabled)); },
      setter(&Model::setEnabled)},
     {"partner", nullptr, setter(&Model::setPartner)},
     {"summary", getter(&Model::summary), nullptr}}};

// Its awakeFromNib raises.
class FailingAwake : public Object {
public:
    PLATFORM_CLASS_RECORD
    void awakeFromNib() { Exception::raise(NSInternalInconsistencyException, make<String>("not today")); }
};

const Class FailingAwake::classRecord{"NibTestFailingAwake", &Object::classRecord, Class::factoryOf<FailingAwake>(),
                                      {{"awakeFromNib", method(&FailingAwake::awakeFromNib)}}};

class NibLoaderTest : public ::testing::Test {
protected:
    void SetUp() override { events.clear(); }

    NibLoader::Result load(const std::string& text, Object* owner = nullptr) {
        return NibLoader(nullptr).loadText(text, "Test.nib", owner);
    }
    std::string errorOf(const std::string& text, Object* owner = nullptr) {
        NibLoader::Result result = load(text, owner);
        EXPECT_FALSE(result) << "loaded: " << text;
        return result.error ? result.error->text() : std::string();
    }
    template <class T>
    static T* named(const LoadedNib& nib, const char* name) {
        return objectAs<T>(nib.objectNamed(name));
    }
};

} // namespace

TEST_F(NibLoaderTest, SetsPropertiesOfEveryKindThroughKeyValueCoding) {
    NibLoader::Result result = load(R"(
        # a comment, then an object with a body
        NibTestModel first {
            name = "Kestrel \"cam\"\t1"   # text with escapes
            count = -42
            ratio = 2.5
            enabled = YES
        }
        NibTestModel second {
            name = "plain"
            ratio = nil
            enabled = false
        }
    )");
    ASSERT_TRUE(result) << result.error->text();
    Model* first = named<Model>(*result.nib, "first");
    Model* second = named<Model>(*result.nib, "second");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->name->text(), "Kestrel \"cam\"\t1");
    EXPECT_EQ(first->count, -42);
    ASSERT_TRUE(objectAs<Number>(first->ratio.get()));
    EXPECT_DOUBLE_EQ(objectAs<Number>(first->ratio.get())->doubleValue(), 2.5);
    EXPECT_TRUE(first->enabled);
    EXPECT_EQ(second->ratio, nullptr);
    EXPECT_FALSE(second->enabled);
    EXPECT_EQ(result.nib->topLevelObjects().size(), 2u);
}

TEST_F(NibLoaderTest, ConnectsOutletsForwardAndToTheOwnerThenAwakesEveryObjectAfterAll) {
    Ref<Model> owner = make<Model>();
    owner->setName(make<String>("owner").get());
    NibLoader::Result result = load(R"(
        NibTestModel a {
            name = "a"
            partner -> b
        }
        NibTestModel b {
            name = "b"
            partner -> File's Owner
        }
        File's Owner {
            count = 7
            partner -> a
        }
    )", owner.get());
    ASSERT_TRUE(result) << result.error->text();
    EXPECT_EQ(owner->partner, named<Model>(*result.nib, "a"));
    EXPECT_EQ(owner->count, 7);
    EXPECT_EQ(named<Model>(*result.nib, "b")->partner, owner.get());
    // a sees b already connected to the owner: awakeFromNib comes after every connection.
    EXPECT_EQ(events, (std::vector<std::string>{"awake a partner=b partner's partner=owner", "awake b partner=owner partner's partner=a"}));
    EXPECT_EQ(owner->retainCount(), 1);  // outlets are not owned
    result.nib.reset();
    EXPECT_EQ(events.back(), "dealloc a");  // released last created first
}

TEST_F(NibLoaderTest, CreatesClassesFromTheGivenImageFirst) {
    void* a = dlopen(TEST_IMAGE_DIR "/test_image_a.so", RTLD_NOW | RTLD_LOCAL);
    void* b = dlopen(TEST_IMAGE_DIR "/test_image_b.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(a && b) << dlerror();
    using ClassOf = const Class* (*)();
    const void* imageA = reinterpret_cast<ClassOf>(dlsym(a, "testImageSharedClass"))()->image();
    const void* imageB = reinterpret_cast<ClassOf>(dlsym(b, "testImageSharedClass"))()->image();
    ASSERT_NE(imageA, imageB);
    for (auto [image, tag] : {std::pair{imageA, "a"}, std::pair{imageB, "b"}}) {
        NibLoader::Result result = NibLoader(image).loadText("SharedName thing\nNSTextField label", "Images.nib", nullptr);
        ASSERT_TRUE(result) << result.error->text();
        Object* thing = result.nib->objectNamed("thing");
        EXPECT_EQ(thing->objectClass().image(), image);
        EXPECT_EQ(objectAs<String>(thing->performSelector("tag").get())->text(), tag);
        // Classes the image lacks come from the other images.
        EXPECT_TRUE(objectAs<TextField>(result.nib->objectNamed("label")));
    }
}

TEST_F(NibLoaderTest, BoundControlsReadTheKeyAgainOnEveryDidChange) {
    NibLoader::Result result = load(R"(
        NSStackView column {
            NSTextField summary {
                bind value -> model.summary
            }
            NSButton check {
                buttonType = "switch"
                title = "Enabled"
                bind value -> model.enabled
            }
            NSButton readOnly {
                buttonType = "switch"
                bind value -> model.summary
            }
        }
        NibTestModel model {
            name = "cam"
            count = 1
        }
    )");
    ASSERT_TRUE(result) << result.error->text();
    Model* model = named<Model>(*result.nib, "model");
    auto* field = static_cast<QLineEdit*>(named<TextField>(*result.nib, "summary")->widget());
    auto* check = qobject_cast<QCheckBox*>(named<Button>(*result.nib, "check")->widget());
    ASSERT_TRUE(check);
    EXPECT_FALSE(check->isHidden());
    EXPECT_EQ(check->text(), "Enabled");
    EXPECT_EQ(field->text().toStdString(), "cam x1");
    const int readsAfterLoad = model->summaryReads;

    model->count = 2;
    EXPECT_EQ(field->text().toStdString(), "cam x1");  // no announcement, no read
    model->willChangeValueForKey("summary");
    EXPECT_EQ(model->summaryReads, readsAfterLoad);  // will-change reads nothing
    model->didChangeValueForKey("summary");
    EXPECT_EQ(field->text().toStdString(), "cam x2");

    model->setEnabled(true);  // the setter's own announcement
    EXPECT_TRUE(check->isChecked());
    check->click();  // the user's choice goes back to the key
    EXPECT_FALSE(model->enabled);
    EXPECT_FALSE(check->isChecked());
    EXPECT_FALSE(named<Button>(*result.nib, "readOnly")->widget()->isEnabled());

}

TEST_F(NibLoaderTest, BindingsToTheOwnerEndWithTheLoadedInterface) {
    Ref<Model> owner = make<Model>();
    NibLoader::Result result = load("NSTextField field {\n  bind value -> File's Owner.summary\n}\n", owner.get());
    ASSERT_TRUE(result) << result.error->text();
    owner->didChangeValueForKey("summary");
    EXPECT_EQ(owner->summaryReads, 2);
    Ref<View> kept(named<View>(*result.nib, "field"));  // a view may outlive its interface
    result.nib.reset();
    owner->didChangeValueForKey("summary");  // nobody is told any more
    EXPECT_EQ(owner->summaryReads, 2);
}

TEST_F(NibLoaderTest, ButtonsSendTheirActionWithThemselvesAsSenderAndWindowsHoldTheirContent) {
    NibLoader::Result result = load(R"(
        NSWindow window {
            title = "Payloads"
            visibleAtLaunch = NO
            NSButton install {
                title = "Install"
                action act: -> model
            }
        }
        NibTestModel model
    )");
    ASSERT_TRUE(result) << result.error->text();
    auto* window = named<Window>(*result.nib, "window");
    auto* install = named<Button>(*result.nib, "install");
    EXPECT_EQ(window->title()->text(), "Payloads");
    EXPECT_EQ(window->contentView(), install);
    EXPECT_EQ(install->widget()->window(), window->widget());
    qobject_cast<QPushButton*>(install->widget())->click();
    // Return and Enter press the button too, as on a focused button anywhere.
    for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(install->widget(), &press);
    }
    EXPECT_EQ(named<Model>(*result.nib, "model")->senders, (std::vector<Object*>{install, install, install}));
    EXPECT_EQ(result.nib->topLevelObjects(), (std::vector<Object*>{window, named<Model>(*result.nib, "model")}));
}

TEST_F(NibLoaderTest, BadInputFailsWithTheFileAndLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"NibTestModel m\nNoSuchClass x", "Test.nib:2: unknown class \"NoSuchClass\""},
        {"NibTestModel m {\n  colour = \"red\"\n}", "Test.nib:2: NibTestModel has no key \"colour\""},
        {"NibTestModel m {\n  summary = \"x\"\n}", "Test.nib:2: the key \"summary\" of NibTestModel is read-only"},
        {"NibTestModel m {\n  name \"x\"\n}", "Test.nib:2: expected"},
        {"NibTestModel m {\n  count = twelve\n}", "Test.nib:2: \"twelve\" is not a value"},
        {"NibTestModel m {\n  name = \"open\n}", "Test.nib:2: a text is not closed"},
        {"NibTestModel m {\n  partner -> ghost\n}", "Test.nib:2: no object is named \"ghost\""},
        {"NibTestModel m\nNibTestModel m", "Test.nib:2: the name \"m\" is used twice (first on line 1)"},
        {"NSStackView s {\n  NibTestModel m\n}", "Test.nib:2: NibTestModel is not a view"},
        {"NSTextField t {\n  bind value -> m.colour\n}\nNibTestModel m", "Test.nib:2: NibTestModel has no key \"colour\""},
        {"NSTextField t {\n  bind title -> m.name\n}\nNibTestModel m", "Test.nib:2: t (NSTextField) has no binding \"title\""},
        {"NSButton b {\n  action explode: -> m\n}\nNibTestModel m", "Test.nib:2: NibTestModel does not respond to explode:"},
        {"NSButton b {\n  buttonType = \"radio\"\n}", "Test.nib:2: setting buttonType of b raised NSInvalidArgumentException"},
        {"NibTestModel m {\n  name = \"x\"", "Test.nib:1: \"m\" is not closed"},
        {"}", "Test.nib:1: \"}\" closes no object"},
        {"File's Owner {\n}", "Test.nib:1: the file describes File's Owner, but it is loaded without an owner"},
    };
    for (const auto& [text, expected] : cases) {
        const std::string error = errorOf(text);
        EXPECT_EQ(error.rfind(expected, 0), 0u) << "got: " << error << "\nexpected: " << expected;
    }
    EXPECT_EQ(NibLoader(nullptr).loadFile("/nonexistent/Missing.nib", nullptr).error->text().rfind("/nonexistent/Missing.nib: cannot be read", 0), 0u);
}

TEST_F(NibLoaderTest, AFailedLoadTearsDownWhatItMadeAndLeavesTheOwnerWithoutReferencesIntoIt) {
    Ref<Model> owner = make<Model>();
    const std::string error = errorOf(R"(
        NibTestModel a {
            name = "a"
            partner -> File's Owner
        }
        NSTextField field {
            bind value -> a.summary
        }
        NibTestFailingAwake late
        File's Owner {
            partner -> a
        }
    )", owner.get());
    EXPECT_EQ(error, "Test.nib:9: awakeFromNib of late raised NSInternalInconsistencyException: not today");
    EXPECT_EQ(owner->partner, nullptr);
    EXPECT_EQ(events, (std::vector<std::string>{"awake a partner=? partner's partner=a", "dealloc a"}));
}
