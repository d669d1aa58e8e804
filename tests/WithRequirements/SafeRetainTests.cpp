// Its own program: the run-time lookup happens once per process.

#include "LogCapture.h"

#include "WithRequirements/RequiredFoundationPropertyCFTypeRef.h"

#include "Foundation/String.h"
#include "objc/AutoreleasePool.h"

#include <regex>
#include <thread>

using namespace platform;

namespace {

std::string notNullLine(const char* expression) {
    return std::string(R"(REQUIRED_NOT_NULL 0x00000000==NULL : )") + expression +
           R"( in SoftLinkCFAutorelease LINE# \d+ \(RequiredFoundationPropertyCFTypeRef\.cpp\)\n)";
}

} // namespace

TEST(SafeRetain, LooksUpOnceThenAutoreleasesOneReference) {
    LogCapture capture;
    EXPECT_EQ(__CFTypeRefPropertySafeRetainAndAutorelease(nullptr), nullptr);
    EXPECT_EQ(capture.lines(), std::vector<std::string>{});  // a null object sets up nothing

    // First calls from several threads at once: one lookup, reported once.
    const auto shared = make<String>("shared");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            AutoreleasePool pool;
            EXPECT_EQ(__CFTypeRefPropertySafeRetainAndAutorelease(shared.get()), shared.get());
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(shared->retainCount(), 1);
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(notNullLine("sCoreFoundationFramework")))) << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(notNullLine("sCFAutoreleasePtr")))) << lines[1];

    const auto value = make<String>("value");
    {
        AutoreleasePool pool;
        EXPECT_EQ(__CFTypeRefPropertySafeRetainAndAutorelease(value.get()), value.get());
        EXPECT_EQ(value->retainCount(), 2);
        EXPECT_EQ(AutoreleasePool::pendingCountInCurrentPool(), 1u);
    }
    EXPECT_EQ(value->retainCount(), 1);
    EXPECT_EQ(capture.lines(), std::vector<std::string>{});
}
