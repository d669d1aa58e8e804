#include "Foundation/Array.h"
#include "Foundation/Data.h"
#include "Foundation/Date.h"
#include "Foundation/Dictionary.h"
#include "Foundation/Number.h"
#include "Foundation/PropertyList.h"
#include "Foundation/String.h"
#include "support/PropertyListText.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>

using namespace platform;
using testsupport::binaryPropertyList;
using testsupport::TempDir;
using testsupport::xmlPropertyList;

namespace {

const std::string kTypedValues = xmlPropertyList(
    "<dict>"
    "<key>name</key><string>Kamera \xC3\xBC &lt;&amp;&gt;</string>"
    "<key>count</key><integer>42</integer>"
    "<key>offset</key><integer>-5</integer>"
    "<key>ratio</key><real>1.5</real>"
    "<key>yes</key><true/>"
    "<key>no</key><false/>"
    "<key>built</key><date>2024-05-06T07:08:09Z</date>"
    "<key>blob</key><data>AAEC/w==</data>"
    "<key>list</key><array><string>a</string><integer>2</integer></array>"
    "<key>inner</key><dict><key>deep</key><string>value</string></dict>"
    "</dict>");

// Arrays nested `levels` deep around one string.
std::string nestedArrays(std::size_t levels) {
    std::string open;
    std::string close;
    for (std::size_t i = 0; i < levels; ++i) {
        open += "<array>";
        close += "</array>";
    }
    return xmlPropertyList(open + "<string>x</string>" + close);
}

// A binary list whose object i is an array holding object i + 1 twice, down
// to one string: a few bytes that expand to 2^levels values.
std::string sharedReferenceChain(unsigned levels, bool cycle = false) {
    std::string bytes = "bplist00";
    std::vector<std::size_t> offsets;
    for (unsigned i = 0; i < levels; ++i) {
        offsets.push_back(bytes.size());
        const unsigned child = cycle ? 0 : i + 1;
        bytes += '\xA2';
        bytes += static_cast<char>(child >> 8);
        bytes += static_cast<char>(child & 0xFF);
        bytes += static_cast<char>(child >> 8);
        bytes += static_cast<char>(child & 0xFF);
    }
    offsets.push_back(bytes.size());
    bytes += "\x51x";
    const std::uint64_t table = bytes.size();
    for (std::size_t offset : offsets) {
        for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>((offset >> shift) & 0xFF);
    }
    std::string trailer(32, '\0');
    trailer[6] = 4;  // offset size
    trailer[7] = 2;  // reference size
    for (int k = 0; k < 8; ++k) {
        trailer[8 + k] = static_cast<char>((offsets.size() >> (56 - 8 * k)) & 0xFF);
        trailer[24 + k] = static_cast<char>((table >> (56 - 8 * k)) & 0xFF);
    }
    return bytes + trailer;
}

} // namespace

TEST(PropertyListReading, KeepsEveryValueTypeInXmlAndBinaryAlike) {
    for (const std::string& bytes : {kTypedValues, binaryPropertyList(kTypedValues)}) {
        SCOPED_TRACE(bytes.substr(0, 8));
        Ref<Object> list = propertyListFromBytes(bytes);
        const Dictionary* root = objectAs<Dictionary>(list.get());
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(root->count(), 10u);
        EXPECT_EQ(objectAs<String>(root->objectForKey("name"))->text(), "Kamera \xC3\xBC <&>");

        const Number* count = objectAs<Number>(root->objectForKey("count"));
        ASSERT_NE(count, nullptr);
        EXPECT_EQ(count->kind(), Number::Kind::Integer);
        EXPECT_EQ(count->integerValue(), 42);
        EXPECT_EQ(objectAs<Number>(root->objectForKey("offset"))->integerValue(), -5);
        const Number* ratio = objectAs<Number>(root->objectForKey("ratio"));
        EXPECT_EQ(ratio->kind(), Number::Kind::Floating);
        EXPECT_EQ(ratio->doubleValue(), 1.5);
        const Number* yes = objectAs<Number>(root->objectForKey("yes"));
        EXPECT_EQ(yes->kind(), Number::Kind::Boolean);
        EXPECT_TRUE(yes->boolValue());
        EXPECT_FALSE(objectAs<Number>(root->objectForKey("no"))->boolValue());

        const Date* built = objectAs<Date>(root->objectForKey("built"));
        ASSERT_NE(built, nullptr);
        EXPECT_EQ(built->description()->text(), "2024-05-06 07:08:09 +0000");
        const Data* blob = objectAs<Data>(root->objectForKey("blob"));
        ASSERT_NE(blob, nullptr);
        EXPECT_EQ(blob->bytes(), std::string("\x00\x01\x02\xFF", 4));
        EXPECT_EQ(blob->description()->text(), "{length = 4, bytes = 0x000102ff}");

        const Array* items = objectAs<Array>(root->objectForKey("list"));
        ASSERT_NE(items, nullptr);
        EXPECT_EQ(items->description()->text(), "(\n    a,\n    2\n)");
        const Dictionary* inner = objectAs<Dictionary>(root->objectForKey("inner"));
        ASSERT_NE(inner, nullptr);
        EXPECT_EQ(objectAs<String>(inner->objectForKey("deep"))->text(), "value");
    }
}

TEST(PropertyListReading, RefusesWhatIsNotAWholeList) {
    const std::string xml = xmlPropertyList("<dict><key>a</key><string>b</string></dict>");
    const std::string binary = binaryPropertyList(xml);
    EXPECT_TRUE(propertyListFromBytes(xml));
    EXPECT_TRUE(propertyListFromBytes(binary));

    EXPECT_FALSE(propertyListFromBytes(""));
    EXPECT_FALSE(propertyListFromBytes("CFBundleIdentifier = com.example;"));
    EXPECT_FALSE(propertyListFromBytes(xml.substr(0, xml.size() / 2)));
    EXPECT_FALSE(propertyListFromBytes(binary.substr(0, binary.size() - 1)));
    EXPECT_FALSE(propertyListFromBytes(binary.substr(0, 20)));
    std::string brokenTrailer = binary;
    brokenTrailer[brokenTrailer.size() - 1] = '\x7F';  // offset table beyond the end
    EXPECT_FALSE(propertyListFromBytes(brokenTrailer));
    EXPECT_FALSE(propertyListFromBytes(xmlPropertyList("<string>ab\xFF</string>")));  // not UTF-8
    EXPECT_FALSE(propertyListFromBytes(xmlPropertyList("<dict><key>\xC3</key><true/></dict>")));
}

// The parser aborts the process on a key with a NUL character; such a list
// is refused before it gets there.
TEST(PropertyListReading, RefusesABinaryListWithANulInADictionaryKey) {
    for (const std::string key : {"aXb", "\xC3\xA4X"}) {  // stored as ASCII, and as UTF-16
        const std::string xml = xmlPropertyList("<dict><key>" + key + "</key><true/></dict>");
        std::string binary = binaryPropertyList(xml);
        ASSERT_TRUE(propertyListFromBytes(binary)) << key;
        const std::size_t at = binary.find('X');
        ASSERT_NE(at, std::string::npos);
        binary[at] = '\0';
        EXPECT_FALSE(propertyListFromBytes(binary)) << key;
        EXPECT_FALSE(propertyListWithinLimits(binary)) << key;
    }
}

TEST(PropertyListReading, SharedReferencesAreReadButTheirExpansionIsBounded) {
    Ref<Object> small = propertyListFromBytes(sharedReferenceChain(8));
    ASSERT_TRUE(objectAs<Array>(small.get()));
    EXPECT_EQ(objectAs<Array>(small.get())->count(), 2u);

    // 2^40 values once expanded: refused at once instead of exhausting memory.
    EXPECT_FALSE(propertyListFromBytes(sharedReferenceChain(40)));
    EXPECT_FALSE(propertyListFromBytes(sharedReferenceChain(3, true)));  // refers to itself
}

TEST(PropertyListReading, DeepNestingIsRefusedWithoutExhaustingTheStack) {
    EXPECT_TRUE(propertyListFromBytes(nestedArrays(100)));
    EXPECT_FALSE(propertyListFromBytes(nestedArrays(300)));
    EXPECT_FALSE(propertyListFromBytes(nestedArrays(250000)));  // deep enough to overflow a recursive reader
    EXPECT_FALSE(propertyListFromBytes(binaryPropertyList(nestedArrays(300))));
}

TEST(PropertyListLimitsCheck, CountsTheNestingTheReaderBuilds) {
    // Each form opens one array for the reader while hiding that from a naive count.
    for (const char* level : {"<array><!-- </array> -->", "<array x=\"/>\">", "<array x=\"></x>\">"}) {
        std::string open;
        std::string close;
        for (int i = 0; i < 300; ++i) {
            open += level;
            close += "</array>";
        }
        EXPECT_FALSE(propertyListWithinLimits(xmlPropertyList(open + "<true/>" + close))) << level;
    }
    // Markup the reader skips adds nothing.
    EXPECT_TRUE(propertyListWithinLimits(
        "<?xml version=\"1.0\" x=\"?>\"?><!DOCTYPE plist [ <!ENTITY a \"<array>\"> ]>"
        "<plist><array><!-- <array><array> --><string><![CDATA[<array>]]></string></array></plist>",
        PropertyListLimits{.maxDepth = 3}));

    std::string many;
    for (int i = 0; i < 100001; ++i) many += "<true/>";
    EXPECT_FALSE(propertyListWithinLimits(xmlPropertyList("<array>" + many + "</array>")));
}

TEST(PropertyListFiles, ReadOnlyRegularFilesWithinTheSizeLimit) {
    TempDir dir;
    const std::string xml = xmlPropertyList("<dict><key>a</key><string>b</string></dict>");
    testsupport::writeFile(dir / "Info.plist", xml);
    auto read = [](const std::string& path, PropertyListLimits limits = {}) {
        return propertyListWithContentsOfFile(make<String>(path).get(), limits);
    };
    EXPECT_TRUE(objectAs<Dictionary>(read(dir / "Info.plist").get()));

    PropertyListLimits small;
    small.maxBytes = xml.size() - 1;
    EXPECT_FALSE(read(dir / "Info.plist", small));
    testsupport::writeFile(dir / "huge.plist", xml + std::string(5 * 1024 * 1024, ' '));
    EXPECT_FALSE(read(dir / "huge.plist"));

    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(read(dir / "fifo"));  // returns at once: nobody writes to it
    EXPECT_FALSE(read(dir.path().string()));
    EXPECT_FALSE(read(dir / "missing"));
    EXPECT_FALSE(propertyListWithContentsOfFile(nullptr));
}

TEST(DataAndDateValues, DescribeThemselvesBriefly) {
    std::string bytes;
    for (int i = 0; i < 40; ++i) bytes += static_cast<char>(i);
    EXPECT_EQ(make<Data>(bytes)->description()->text(),
              "{length = 40, bytes = 0x000102030405060708090a0b0c0d0e0f ... 2021222324252627}");
    EXPECT_EQ(make<Data>()->description()->text(), "{length = 0, bytes = 0x}");
    EXPECT_TRUE(make<Data>("ab")->isEqual(make<Data>("ab").get()));
    EXPECT_FALSE(make<Data>("ab")->isEqual(make<String>("ab").get()));

    EXPECT_EQ(Date::dateWithTimeIntervalSinceReferenceDate(0)->description()->text(), "2001-01-01 00:00:00 +0000");
    EXPECT_EQ(Date::dateWithTimeIntervalSinceReferenceDate(-0.5)->description()->text(), "2000-12-31 23:59:59 +0000");
    EXPECT_EQ(Date::dateWithTimeIntervalSinceReferenceDate(1e300)->description()->text(), "(invalid date)");
}
