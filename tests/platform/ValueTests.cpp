#include "Foundation/Array.h"
#include "Foundation/Dictionary.h"
#include "Foundation/Error.h"
#include "Foundation/Exception.h"
#include "Foundation/Null.h"
#include "Foundation/Number.h"
#include "Foundation/String.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

using namespace platform;

TEST(StringValue, IsUTF8AndComparedByText) {
    Ref<String> a = String::stringWithUTF8String("Kamera \xC3\xBC");
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->isEqualToString(make<String>("Kamera \xC3\xBC").get()));
    EXPECT_TRUE(a->isEqual(make<MutableString>("Kamera \xC3\xBC").get()));
    EXPECT_EQ(a->hash(), make<String>("Kamera \xC3\xBC")->hash());
    EXPECT_FALSE(a->isEqualToString(nullptr));
    EXPECT_FALSE(a->isEqual(Number::numberWithInteger(1).get()));
    EXPECT_FALSE(make<String>("Library.QuickTime")->isEqualToString(make<String>("library.quicktime").get()));
}

TEST(StringValue, RefusesTextThatIsNotUTF8) {
    EXPECT_FALSE(String::stringWithUTF8String(nullptr));
    EXPECT_FALSE(String::stringWithUTF8String("\xFF"));
    EXPECT_FALSE(String::stringWithUTF8String("ab\xC3"));          // cut short
    EXPECT_FALSE(String::stringWithUTF8String("\xC0\xAF"));        // overlong "/"
    EXPECT_FALSE(String::stringWithUTF8String("\xED\xA0\x80"));    // surrogate
    EXPECT_FALSE(String::stringWithUTF8String("\xF4\x90\x80\x80")); // beyond U+10FFFF
    EXPECT_TRUE(String::stringWithUTF8String("\xF0\x9F\x93\xB7"));  // U+1F4F7
    EXPECT_TRUE(String::stringWithUTF8String(""));
}

TEST(StringValue, CopyOfAMutableStringKeepsItsTextWhileACopyOfAnImmutableOneIsTheSame) {
    Ref<MutableString> mutableText = make<MutableString>("Cam.plugin");
    Ref<String> copy = mutableText->copy();
    mutableText->appendString(make<String>(".old").get());
    EXPECT_EQ(copy->text(), "Cam.plugin");
    EXPECT_EQ(mutableText->text(), "Cam.plugin.old");
    EXPECT_FALSE(copy->isKindOfClass(MutableString::classRecord));

    Ref<String> immutable = make<String>("x");
    EXPECT_EQ(immutable->copy().get(), immutable.get());
    Ref<MutableString> editable = immutable->mutableCopy();
    editable->setString(nullptr);
    EXPECT_EQ(immutable->text(), "x");
    EXPECT_EQ(editable->text(), "");
}

TEST(NumberValue, DescribesItselfAsThePlatformDoes) {
    EXPECT_EQ(Number::numberWithBool(true)->description()->text(), "1");
    EXPECT_EQ(Number::numberWithBool(false)->description()->text(), "0");
    EXPECT_EQ(Number::numberWithInteger(-42)->description()->text(), "-42");
    EXPECT_EQ(Number::numberWithDouble(1.5)->description()->text(), "1.5");
    EXPECT_EQ(Number::numberWithDouble(0.1)->description()->text(), "0.1");
    EXPECT_EQ(Number::numberWithDouble(3.0)->description()->text(), "3");
}

// A real of any size read from a property list has an integer value.
TEST(NumberValue, IntegerValueOfADoubleBeyondTheRangeIsHeldToIt) {
    EXPECT_EQ(Number::numberWithDouble(5.99519e19)->integerValue(), INT64_MAX);
    EXPECT_EQ(Number::numberWithDouble(-1e300)->integerValue(), INT64_MIN);
    EXPECT_EQ(Number::numberWithDouble(HUGE_VAL)->integerValue(), INT64_MAX);
    EXPECT_EQ(Number::numberWithDouble(-0x1p63)->integerValue(), INT64_MIN);
    EXPECT_EQ(Number::numberWithDouble(0x1p62)->integerValue(), std::int64_t{1} << 62);
    EXPECT_EQ(Number::numberWithDouble(NAN)->integerValue(), 0);
}

TEST(NumberValue, ConvertsAndComparesByValue) {
    EXPECT_TRUE(Number::numberWithInteger(2)->boolValue());
    EXPECT_FALSE(Number::numberWithInteger(0)->boolValue());
    EXPECT_TRUE(Number::numberWithDouble(0.5)->boolValue());
    EXPECT_EQ(Number::numberWithDouble(2.9)->integerValue(), 2);
    EXPECT_EQ(Number::numberWithDouble(-2.9)->integerValue(), -2);
    EXPECT_EQ(Number::numberWithBool(true)->kind(), Number::Kind::Boolean);
    EXPECT_TRUE(Number::numberWithInteger(1)->isEqual(Number::numberWithDouble(1.0).get()));
    EXPECT_TRUE(Number::numberWithInteger(1)->isEqual(Number::numberWithBool(true).get()));
    EXPECT_FALSE(Number::numberWithInteger(1)->isEqual(make<String>("1").get()));
    EXPECT_FALSE(Number::numberWithInteger(1)->isEqual(nullptr));
}

TEST(NullValue, IsOneImmortalSingleton) {
    EXPECT_EQ(Null::null(), Null::null());
    EXPECT_TRUE(Null::null()->isImmortal());
    EXPECT_EQ(Null::null()->description()->text(), "<null>");
    EXPECT_EQ(classNameOf(Null::null()), "NSNull");
    Ref<Object> held(Null::null());
    EXPECT_TRUE(held->isEqual(Null::null()));
}

TEST(ArrayValue, EndsAtItsFirstAbsentElement) {
    Ref<String> a = make<String>("a");
    Ref<String> c = make<String>("c");
    Ref<Array> list = Array::arrayWithObjects({a.get(), nullptr, c.get()});
    EXPECT_EQ(list->count(), 1u);
    EXPECT_EQ(Array::arrayWithObjects({nullptr, a.get()})->count(), 0u);
    EXPECT_EQ(Array::arrayWithObjects({a.get(), c.get()})->count(), 2u);
    EXPECT_EQ(a->retainCount(), 2);  // the list holds its own reference
}

TEST(ArrayValue, RaisesForAnIndexBeyondTheEnd) {
    Ref<Array> list = Array::arrayWithObjects({make<String>("only").get()});
    EXPECT_EQ(objectAs<String>(list->objectAtIndex(0))->text(), "only");
    try {
        list->objectAtIndex(1);
        FAIL();
    } catch (const RaisedException& raised) {
        EXPECT_TRUE(raised.name()->isEqualToString(NSRangeException));
        EXPECT_EQ(raised.reason()->text(), "*** -[NSArray objectAtIndex:]: index 1 beyond bounds [0 .. 0]");
    }
    EXPECT_THROW(make<Array>()->objectAtIndex(0), RaisedException);
}

TEST(ArrayValue, DescribesItsElements) {
    Ref<Array> list = Array::arrayWithObjects({make<String>("install").get(), Number::numberWithInteger(5).get()});
    EXPECT_EQ(list->description()->text(), "(\n    install,\n    5\n)");
    EXPECT_EQ(make<Array>()->description()->text(), "()");
    EXPECT_TRUE(list->isEqual(Array::arrayWithObjects({make<String>("install").get(),
                                                       Number::numberWithInteger(5).get()}).get()));
}

TEST(DictionaryValue, LooksUpByKeyText) {
    Dictionary::Storage entries;
    entries["CFBundleName"] = make<String>("Cam");
    entries["CFBundleVersion"] = Number::numberWithInteger(7);
    Ref<Dictionary> info = make<Dictionary>(std::move(entries));
    EXPECT_EQ(info->count(), 2u);
    EXPECT_EQ(objectAs<String>(info->objectForKey("CFBundleName"))->text(), "Cam");
    EXPECT_EQ(info->objectForKey(make<String>("CFBundleVersion").get())->description()->text(), "7");
    EXPECT_EQ(info->objectForKey("CFBundleIdentifier"), nullptr);
    EXPECT_EQ(info->objectForKey(static_cast<const String*>(nullptr)), nullptr);
    EXPECT_EQ(info->description()->text(), "{\n    CFBundleName = Cam;\n    CFBundleVersion = 7;\n}");
}

TEST(ErrorValue, DescribesDomainCodeAndText) {
    Dictionary::Storage details;
    details[NSLocalizedDescriptionKey->text()] = make<String>("The disk is full.");
    Ref<Error> error = make<Error>(make<String>("NSPOSIXErrorDomain"), 28, make<Dictionary>(std::move(details)));
    EXPECT_EQ(error->description()->text(), "Error Domain=NSPOSIXErrorDomain Code=28 \"The disk is full.\"");
    Ref<Error> bare = make<Error>(make<String>("Mine"), -3);
    EXPECT_EQ(bare->localizedDescription()->text(), "The operation couldn\u2019t be completed. (Mine error -3.)");
}
