#include "Foundation/Null.h"
#include "Foundation/Number.h"
#include "Foundation/String.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>

using namespace platform;

namespace {
std::string formatted(Ref<String> s) { return s ? s->text() : std::string("<no string>"); }
}

TEST(Format, ObjectConversionPrintsDescriptionsAndNullForAbsent) {
    Ref<String> name = make<String>("Cam.plugin");
    String* absent = nullptr;
    EXPECT_EQ(formatted(String::stringWithFormat("%@/%@", make<String>("/Library/QuickTime"), name)),
              "/Library/QuickTime/Cam.plugin");
    EXPECT_EQ(formatted(String::stringWithFormat("%@/%@", absent, name)), "(null)/Cam.plugin");
    EXPECT_EQ(formatted(String::stringWithFormat("[%@]", nullptr)), "[(null)]");
    EXPECT_EQ(formatted(String::stringWithFormat("%@ %@", Number::numberWithInteger(3), Null::null())), "3 <null>");
    EXPECT_EQ(formatted(String::stringWithFormat("[%8@|%-4@]", make<String>("ab"), make<String>("c"))),
              "[      ab|c   ]");
}

TEST(Format, CConversionsFollowPrintf) {
    EXPECT_EQ(formatted(String::stringWithFormat("%d %ld %lld %u", -1, -2L, -3LL, 4u)), "-1 -2 -3 4");
    EXPECT_EQ(formatted(String::stringWithFormat("%s:%s", "first", "second")), "first:second");
    EXPECT_EQ(formatted(String::stringWithFormat("%s", static_cast<const char*>(nullptr))), "(null)");
    EXPECT_EQ(formatted(String::stringWithFormat("%.*s|%*d", 3, "abcdef", 4, 7)), "abc|   7");
    EXPECT_EQ(formatted(String::stringWithFormat("%5.2f %g %Lg", 3.14159, 0.5, 2.0L)), " 3.14 0.5 2");
    EXPECT_EQ(formatted(String::stringWithFormat("100%% %c", 'x')), "100% x");
    EXPECT_EQ(formatted(String::stringWithFormat("%C", 0x00FC)), "\xC3\xBC");
    EXPECT_EQ(formatted(String::stringWithFormat("%zu %hhd", std::size_t{9}, 300)), "9 44");
    EXPECT_EQ(formatted(String::stringWithFormat("%hd %hu %tu", 70000, 70000, std::ptrdiff_t{-1})),
              "4464 4464 18446744073709551615");
    EXPECT_EQ(formatted(String::stringWithFormat("%ld|%lld|%u|%i", LONG_MIN, LLONG_MAX, UINT_MAX, -0)),
              "-9223372036854775808|9223372036854775807|4294967295|0");
}

TEST(Format, HexadecimalIsLowerCaseAndZeroPadded) {
    EXPECT_EQ(formatted(String::stringWithFormat("0x%08lx", 0xABCUL)), "0x00000abc");
    EXPECT_EQ(formatted(String::stringWithFormat("%08lx!=%08lx", 7UL, 0x1fUL)), "00000007!=0000001f");
    EXPECT_EQ(formatted(String::stringWithFormat("0x%08lx", 0x7fff12345678UL)), "0x7fff12345678");
    EXPECT_EQ(formatted(String::stringWithFormat("%p", static_cast<void*>(nullptr))), "0x0");
    EXPECT_EQ(formatted(String::stringWithFormat("%p", reinterpret_cast<void*>(0xbeefUL))), "0xbeef");
}

TEST(Format, MalformedFormatsGiveNoString) {
    EXPECT_FALSE(String::stringWithFormat("trailing %"));
    EXPECT_FALSE(String::stringWithFormat("%y", 1));
    int count = 0;
    EXPECT_FALSE(String::stringWithFormat("%n", &count));
    EXPECT_FALSE(String::stringWithFormat("%ls", L"wide"));
    EXPECT_FALSE(String::stringWithFormat(nullptr));
    EXPECT_FALSE(String::stringWithFormat("%99999999999999999999d", 1));  // widths are not padded out without end
    EXPECT_FALSE(String::stringWithFormat("%.99999999999999999999s", "x"));
    EXPECT_FALSE(String::stringWithFormat("%*d", INT_MIN, 1));
    EXPECT_EQ(formatted(String::stringWithFormat("plain")), "plain");
}

TEST(Format, DescriptionOfAPlainObjectNamesClassAndAddress) {
    Ref<Object> object = Object::classRecord.createInstance();
    char expected[64];
    std::snprintf(expected, sizeof expected, "<NSObject: 0x%lx>", reinterpret_cast<unsigned long>(object.get()));
    EXPECT_EQ(object->description()->text(), expected);
}
