#include "Foundation/Exception.h"
#include "Foundation/Number.h"
#include "Foundation/String.h"
#include "objc/AutoreleasePool.h"
#include "objc/Object.h"

#include <dlfcn.h>
#include <thread>
#include <gtest/gtest.h>

using namespace platform;

namespace {

// Counts its own destruction; answers two selectors.
class Probe : public Object {
public:
    PLATFORM_CLASS_RECORD

    explicit Probe(int* destroyed = nullptr) : destroyed_(destroyed) {}
    ~Probe() override { if (destroyed_) ++*destroyed_; }

    void remember(Object* argument) { remembered = Ref<Object>(argument); }
    Ref<String> answer() { return make<String>("forty-two"); }

    Ref<Object> remembered;

private:
    int* destroyed_;
};

const Class Probe::classRecord{"RuntimeTestsProbe", &Object::classRecord, Class::factoryOf<Probe>(),
                               {{"remember:", method(&Probe::remember)}, {"answer", method(&Probe::answer)}}};

class SubProbe : public Probe {
public:
    PLATFORM_CLASS_RECORD
};
const Class SubProbe::classRecord{"RuntimeTestsSubProbe", &Probe::classRecord, Class::factoryOf<SubProbe>()};

} // namespace

TEST(ReferenceCounting, OwnersAreCountedAndTheLastReleaseDestroys) {
    int destroyed = 0;
    {
        Ref<Probe> first = make<Probe>(&destroyed);
        EXPECT_EQ(first->retainCount(), 1);
        {
            Ref<Probe> second = first;
            EXPECT_EQ(first->retainCount(), 2);
            Ref<Object> upcast = second;
            EXPECT_EQ(first->retainCount(), 3);
        }
        EXPECT_EQ(first->retainCount(), 1);
        Ref<Probe> moved = std::move(first);
        EXPECT_FALSE(first);
        EXPECT_EQ(moved->retainCount(), 1);
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 1);
}

TEST(ReferenceCounting, AdoptTakesOverWithoutRetaining) {
    int destroyed = 0;
    Probe* raw = new Probe(&destroyed);
    raw->retain();
    EXPECT_EQ(raw->retainCount(), 2);
    {
        Ref<Probe> adopted = Ref<Probe>::adopt(raw);
        EXPECT_EQ(raw->retainCount(), 2);
    }
    EXPECT_EQ(raw->retainCount(), 1);
    raw->release();
    EXPECT_EQ(destroyed, 1);
}

TEST(ReferenceCounting, LiveObjectsAreCountedFromCreationToDestruction) {
    const long before = Object::liveObjectCount();
    {
        Ref<Probe> first = make<Probe>();
        Ref<Object> second = make<SubProbe>();
        EXPECT_EQ(Object::liveObjectCount(), before + 2);
        AutoreleasePool pool;
        first->retain();
        first->autorelease();
        first = nullptr;
        EXPECT_EQ(Object::liveObjectCount(), before + 2);  // the pool still owns one
    }
    EXPECT_EQ(Object::liveObjectCount(), before);
}

TEST(ReferenceCounting, ImmortalObjectsIgnoreRetainAndRelease) {
    static String* const constant = String::constant("forever");  // lives as long as the program
    const long before = constant->retainCount();
    constant->release();
    constant->release();
    constant->retain();
    EXPECT_EQ(constant->retainCount(), before);
    EXPECT_TRUE(constant->isImmortal());
    EXPECT_EQ(constant->text(), "forever");
}

TEST(AutoreleasePoolTest, KeepsObjectsAliveUntilThePoolEnds) {
    int destroyed = 0;
    int keptDestroyed = 0;
    {
        AutoreleasePool outer;
        {
            AutoreleasePool inner;
            Probe* probe = new Probe(&destroyed);
            probe->autorelease();
            EXPECT_EQ(AutoreleasePool::pendingCountInCurrentPool(), 1u);
            EXPECT_EQ(destroyed, 0);
        }
        EXPECT_EQ(destroyed, 1);
        EXPECT_EQ(AutoreleasePool::pendingCountInCurrentPool(), 0u);
        {
            Ref<Probe> kept = make<Probe>(&keptDestroyed);
            kept->retain();
            kept->autorelease();
            EXPECT_EQ(kept->retainCount(), 2);
        }
        EXPECT_EQ(keptDestroyed, 0);  // the pool still owns one reference
    }
    EXPECT_EQ(keptDestroyed, 1);
}

TEST(AutoreleasePoolTest, EachThreadHasItsOwnPools) {
    AutoreleasePool pool;
    int destroyed = 0;
    std::thread([&] {
        AutoreleasePool threadPool;
        (new Probe(&destroyed))->autorelease();
        EXPECT_EQ(AutoreleasePool::pendingCountInCurrentPool(), 1u);
    }).join();
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(AutoreleasePool::pendingCountInCurrentPool(), 0u);
}

TEST(Classes, KindOfFollowsTheSuperclassChain) {
    Ref<SubProbe> sub = make<SubProbe>();
    EXPECT_TRUE(sub->isKindOfClass(Probe::classRecord));
    EXPECT_TRUE(sub->isKindOfClass(Object::classRecord));
    EXPECT_FALSE(sub->isMemberOfClass(Probe::classRecord));
    EXPECT_TRUE(sub->isMemberOfClass(SubProbe::classRecord));
    Ref<Probe> probe = make<Probe>();
    EXPECT_FALSE(probe->isKindOfClass(SubProbe::classRecord));
    EXPECT_FALSE(make<String>("x")->isKindOfClass(Number::classRecord));
    EXPECT_TRUE(make<MutableString>()->isKindOfClass(String::classRecord));
    EXPECT_EQ(objectAs<String>(probe.get()), nullptr);
    EXPECT_EQ(classNameOf(nullptr), "(nil)");
    EXPECT_EQ(classNameOf(sub.get()), "RuntimeTestsSubProbe");
}

TEST(Classes, SelectorsAreInheritedAndPerformedWithOneArgument) {
    Ref<SubProbe> sub = make<SubProbe>();
    EXPECT_TRUE(sub->respondsToSelector("remember:"));
    EXPECT_FALSE(sub->respondsToSelector("remember"));
    Ref<String> argument = make<String>("hello");
    EXPECT_EQ(sub->performSelector("remember:", argument.get()), nullptr);
    EXPECT_EQ(sub->remembered.get(), argument.get());
    Ref<Object> answer = sub->performSelector("answer");
    ASSERT_TRUE(objectAs<String>(answer.get()));
    EXPECT_EQ(objectAs<String>(answer.get())->text(), "forty-two");
}

TEST(Classes, AnUnknownSelectorRaisesInvalidArgument) {
    Ref<Probe> probe = make<Probe>();
    try {
        probe->performSelector("noSuchThing:", nullptr);
        FAIL() << "no exception";
    } catch (const RaisedException& raised) {
        EXPECT_TRUE(raised.name()->isEqualToString(NSInvalidArgumentException));
        EXPECT_NE(raised.reason()->text().find("-[RuntimeTestsProbe noSuchThing:]: unrecognized selector"),
                  std::string::npos);
    }
}

TEST(Classes, AreFoundByNameAndCreated) {
    const Class* found = Class::named("RuntimeTestsSubProbe");
    ASSERT_EQ(found, &SubProbe::classRecord);
    Ref<Object> instance = found->createInstance();
    ASSERT_TRUE(instance);
    EXPECT_TRUE(instance->isMemberOfClass(SubProbe::classRecord));
    EXPECT_EQ(Class::named("NSString"), &String::classRecord);
    EXPECT_EQ(Class::named("NoSuchClassAnywhere"), nullptr);
    EXPECT_EQ(Class::named("runtimetestssubprobe"), nullptr);
    EXPECT_EQ(Number::classRecord.createInstance(), nullptr);  // not creatable by name
}

namespace {

struct LoadedImage {
    explicit LoadedImage(const char* tag) {
        std::string path = TEST_IMAGE_DIR;  // appended to: gcc 12 warns wrongly of a chain of +
        path.append("/test_image_").append(tag).append(".so");
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) throw std::runtime_error(dlerror());
        sharedClass = reinterpret_cast<const Class* (*)()>(dlsym(handle, "testImageSharedClass"))();
        lookUp = reinterpret_cast<const Class* (*)(const char*)>(dlsym(handle, "testImageLookUp"));
    }
    ~LoadedImage() { unload(); }
    void unload() {
        if (handle) dlclose(handle);
        handle = nullptr;
    }
    std::string tagOfSharedNameFoundInside() const {
        Ref<Object> instance = lookUp("SharedName")->createInstance();
        return objectAs<String>(instance->performSelector("tag").get())->text();
    }

    void* handle = nullptr;
    const Class* sharedClass = nullptr;
    const Class* (*lookUp)(const char*) = nullptr;
};

} // namespace

TEST(ClassesPerImage, EachImageFindsItsOwnClassFirst) {
    LoadedImage a("a");
    LoadedImage b("b");
    ASSERT_NE(a.sharedClass, b.sharedClass);
    EXPECT_EQ(a.sharedClass->name(), "SharedName");
    EXPECT_EQ(a.lookUp("SharedName"), a.sharedClass);
    EXPECT_EQ(b.lookUp("SharedName"), b.sharedClass);
    EXPECT_EQ(a.tagOfSharedNameFoundInside(), "a");
    EXPECT_EQ(b.tagOfSharedNameFoundInside(), "b");
    EXPECT_EQ(Class::named("SharedName", b.sharedClass->image()), b.sharedClass);

    // From an image without such a class, the images are searched in the
    // order they registered; classes of other images are still reachable.
    EXPECT_EQ(Class::named("SharedName"), a.sharedClass);
    EXPECT_NE(b.lookUp("OnlyIn_a"), nullptr);
    EXPECT_EQ(b.lookUp("OnlyIn_a")->image(), a.sharedClass->image());
    // Classes of the platform itself are found from inside an image.
    EXPECT_EQ(a.lookUp("NSString"), &String::classRecord);
}

TEST(ClassesPerImage, UnloadingAnImageTakesItsClassesAway) {
    LoadedImage a("a");
    LoadedImage b("b");
    ASSERT_NE(Class::named("OnlyIn_a"), nullptr);
    a.unload();
    EXPECT_EQ(Class::named("OnlyIn_a"), nullptr);
    EXPECT_EQ(Class::named("SharedName"), b.sharedClass);
}

TEST(Exceptions, CarryNameReasonAndDescription) {
    try {
        Exception::raise(NSInternalInconsistencyException, make<String>("payloadController IBOutlet not set"));
        FAIL() << "no exception";
    } catch (const RaisedException& raised) {
        EXPECT_EQ(raised.name()->text(), "NSInternalInconsistencyException");
        EXPECT_EQ(raised.reason()->text(), "payloadController IBOutlet not set");
        EXPECT_EQ(raised.description()->text(), "payloadController IBOutlet not set");
        EXPECT_STREQ(raised.what(), "NSInternalInconsistencyException: payloadController IBOutlet not set");
        EXPECT_EQ(String::stringWithFormat("caught %@", raised.exception())->text(),
                  "caught payloadController IBOutlet not set");
        EXPECT_TRUE(raised.exception()->isKindOfClass(Exception::classRecord));
    }
}

TEST(Exceptions, AreOrdinaryCppExceptions) {
    EXPECT_THROW(Exception::raise(NSRangeException, make<String>("out")), std::exception);
}
