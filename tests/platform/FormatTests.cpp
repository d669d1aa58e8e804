#include "Foundation/Null.h"
#include "Foundation/Number.h"
#include "Foundation/String.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstddef>

using namespace platform;

namespace {
std::string formatted(Ref<String> s) { return s ? s->text() : std::string("<no string>"); }

// A format read only when running, as a C caller's is.
Ref<String> formattedAtRunTime(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    Ref<String> text = String::stringWithFormatV(format, arguments);
    va_end(arguments);
    return text;
}

// What the compiler refuses: a conversion given an argument it does not take,
// too few or too many arguments, a conversion the formatter does not know.
using format::formatFits;
static_assert(!formatFits<Ref<String>>("%d"));
static_assert(!formatFits<int>("%@"));
static_assert(!formatFits<String*>("%s"));
static_assert(!formatFits<const char*>("%@"));
static_assert(!formatFits<long>("%d"));
static_assert(!formatFits<int>("%ld"));
static_assert(!formatFits<double>("%d"));
static_assert(!formatFits<int>("%f"));
static_assert(!formatFits<int>("%d %d"));
static_assert(!formatFits<int, int>("%d"));
static_assert(!formatFits<int>("%y"));
static_assert(!formatFits<long>("%lhd"));
static_assert(!formatFits<>("trailing %"));
static_assert(!formatFits<long, int>("%*d"));
// ... and what it takes: every conversion of the formatter, and literal percent signs.
static_assert(formatFits<Ref<String>, const char*, char[3], int, unsigned, long, unsigned long long, std::size_t,
                         double, float, long double, void*, char, bool, short>(
    "100%% %@ %s %-8s %d %u %ld %llu %zu %.2f %g %Lf %p %c %d %hd"));
static_assert(formatFits<int, int, const char*, std::nullptr_t>("%*.*s %@"));
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

TEST(Format, MalformedFormatsReadWhenRunningGiveNoString) {
    EXPECT_FALSE(formattedAtRunTime("trailing %"));
    EXPECT_FALSE(formattedAtRunTime("%y", 1));
    int count = 0;
    EXPECT_FALSE(formattedAtRunTime("%n", &count));
    EXPECT_FALSE(formattedAtRunTime("%ls", L"wide"));
    EXPECT_FALSE(formattedAtRunTime(nullptr));
    EXPECT_FALSE(formattedAtRunTime("%99999999999999999999d", 1));  // widths are not padded out without end
    EXPECT_FALSE(formattedAtRunTime("%.99999999999999999999s", "x"));
    EXPECT_FALSE(formattedAtRunTime("%*d", INT_MIN, 1));
    EXPECT_FALSE(formattedAtRunTime("%.*s", INT_MAX, "x"));
    EXPECT_EQ(formatted(formattedAtRunTime("[%*d|%-*d]", -4, 7, -3, 8)), "[7   |8  ]");
    EXPECT_EQ(formatted(formattedAtRunTime("plain")), "plain");
}

TEST(Format, DescriptionOfAPlainObjectNamesClassAndAddress) {
    Ref<Object> object = Object::classRecord.createInstance();
    char expected[64];
    std::snprintf(expected, sizeof expected, "<NSObject: 0x%lx>", reinterpret_cast<unsigned long>(object.get()));
    EXPECT_EQ(object->description()->text(), expected);
}
