#include "Foundation/Exception.h"
#include "Foundation/String.h"
#include "objc/KeyValueObserving.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

class Settings : public Object {
public:
    PLATFORM_CLASS_RECORD

    bool enabled() const { return enabled_; }
    void setEnabled(bool value) {
        const KeyValueChange automatic(*this, "enabled");
        willChangeValueForKey("summary");
        enabled_ = value;
        didChangeValueForKey("summary");
    }
    Ref<String> name() const { return name_; }
    void setName(String* value) {
        const KeyValueChange automatic(*this, "name");
        name_ = value ? value->copy() : nullptr;
    }
    Ref<String> summary() const { return String::stringWithFormat("%@:%d", name_, enabled_); }

private:
    bool enabled_ = false;
    Ref<String> name_;
};

const Class Settings::classRecord{"KeyValueTestsSettings", &Object::classRecord, Class::factoryOf<Settings>(), {},
                                  {{"enabled", getter(&Settings::enabled), setter(&Settings::setEnabled)},
                                   {"name", getter(&Settings::name), setter(&Settings::setName)},
                                   {"summary", getter(&Settings::summary), nullptr}}};

class Recorder final : public KeyValueObserver {
public:
    void observeWillChangeValueForKey(Object&, const std::string& key) override { events.push_back("will " + key); }
    void observeDidChangeValueForKey(Object& object, const std::string& key) override {
        events.push_back("did " + key);
        if (onDid) onDid(object, key);
    }
    std::vector<std::string> events;
    std::function<void(Object&, const std::string&)> onDid;
};

void expectUnknownKey(const std::function<void()>& action) {
    try {
        action();
        FAIL() << "no exception";
    } catch (const RaisedException& raised) {
        EXPECT_TRUE(raised.name()->isEqualToString(NSUndefinedKeyException));
        EXPECT_NE(raised.reason()->text().find("not key value coding-compliant for the key missing."), std::string::npos);
    }
}

} // namespace

TEST(KeyValueCoding, ReadsAndWritesThroughTheAccessors) {
    Ref<Settings> settings = make<Settings>();
    settings->setValue_forKey(make<String>("cam").get(), "name");
    settings->setValue_forKey(Number::numberWithBool(true).get(), "enabled");
    EXPECT_EQ(objectAs<String>(settings->valueForKey("name").get())->text(), "cam");
    EXPECT_TRUE(objectAs<Number>(settings->valueForKey("enabled").get())->boolValue());
    EXPECT_EQ(objectAs<String>(settings->valueForKey("summary").get())->text(), "cam:1");

    settings->setValue_forKey(Number::numberWithInteger(3).get(), "name");  // not a string: no name
    EXPECT_EQ(settings->valueForKey("name"), nullptr);
    settings->setValue_forKey(nullptr, "enabled");
    EXPECT_FALSE(settings->enabled());
}

TEST(KeyValueCoding, UnknownAndReadOnlyKeysRaise) {
    Ref<Settings> settings = make<Settings>();
    expectUnknownKey([&] { settings->valueForKey("missing"); });
    expectUnknownKey([&] { settings->setValue_forKey(nullptr, "missing"); });
    EXPECT_THROW(settings->setValue_forKey(nullptr, "summary"), RaisedException);
}

TEST(KeyValueObservingTest, TheSettersPairEnclosesThePairsItSendsItself) {
    Ref<Settings> settings = make<Settings>();
    Recorder recorder;
    settings->addObserver_forKeyPath(&recorder, "enabled");
    settings->addObserver_forKeyPath(&recorder, "summary");
    settings->setValue_forKey(Number::numberWithBool(true).get(), "enabled");
    settings->setEnabled(false);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"will enabled", "will summary", "did summary", "did enabled",
                                                         "will enabled", "will summary", "did summary", "did enabled"}));
}

TEST(KeyValueObservingTest, ObserversHearOnlyTheirKeysUntilRemoved) {
    Ref<Settings> settings = make<Settings>();
    Recorder names;
    Recorder both;
    settings->addObserver_forKeyPath(&names, "name");
    settings->addObserver_forKeyPath(&both, "name");
    settings->addObserver_forKeyPath(&both, "enabled");
    settings->setName(make<String>("a").get());
    settings->setEnabled(true);
    settings->removeObserver_forKeyPath(&names, "name");
    settings->setName(nullptr);
    settings->removeObserver_forKeyPath(&names, "name");  // not registered any more: nothing happens
    EXPECT_EQ(names.events, (std::vector<std::string>{"will name", "did name"}));
    EXPECT_EQ(both.events, (std::vector<std::string>{"will name", "did name", "will enabled", "did enabled",
                                                     "will name", "did name"}));
}

TEST(KeyValueObservingTest, AnObserverMayRemoveItselfWhileBeingTold) {
    Ref<Settings> settings = make<Settings>();
    Recorder leaving;
    Recorder staying;
    leaving.onDid = [&](Object& object, const std::string& key) { object.removeObserver_forKeyPath(&leaving, key); };
    settings->addObserver_forKeyPath(&leaving, "name");
    settings->addObserver_forKeyPath(&staying, "name");
    settings->setName(make<String>("x").get());
    settings->setName(make<String>("y").get());
    EXPECT_EQ(leaving.events, (std::vector<std::string>{"will name", "did name"}));
    EXPECT_EQ(staying.events.size(), 4u);
}

TEST(KeyValueObservingTest, AnObserverThatRaisesDuringDidChangeRaisesOutOfTheSetter) {
    Ref<Settings> settings = make<Settings>();
    Recorder raising;
    raising.onDid = [](Object&, const std::string& key) {
        if (key == "name") Exception::raise(NSInternalInconsistencyException, make<String>("observer failed"));
    };
    settings->addObserver_forKeyPath(&raising, "name");
    EXPECT_THROW(settings->setName(make<String>("x").get()), RaisedException);
    EXPECT_EQ(settings->name()->text(), "x");
}
