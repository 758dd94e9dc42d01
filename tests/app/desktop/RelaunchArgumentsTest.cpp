// Start-up of the desktop app as processes: one instance per user, relaunching.
#include "app/desktop/RelaunchArguments.h"

#include "IsolatedHome.h"
#include "Subprocess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace ambrel;
using ambrel::testing::IsolatedHome;
using ambrel::testing::Subprocess;
using namespace std::chrono_literals;

TEST(RelaunchArgumentsTest, ReadsTheProcessIdAfterTheFlag) {
    using RelaunchArguments::relaunchedAfter;
    EXPECT_EQ(relaunchedAfter({"-relaunchedAfter", "4242"}), 4242);
    EXPECT_EQ(relaunchedAfter({"x", "-relaunchedAfter", "+17"}), 17);
    EXPECT_EQ(relaunchedAfter({"-relaunchedAfter", "-3"}), -3);
    EXPECT_EQ(relaunchedAfter({"-relaunchedAfter", "2147483647"}), 2147483647);
    for (const std::vector<std::string>& bad : {std::vector<std::string>{},
                                                {"-relaunchedAfter"},
                                                {"-relaunchedAfter", ""},
                                                {"-relaunchedAfter", "12a"},
                                                {"-relaunchedAfter", "2147483648"},
                                                {"-relaunchedAfter", "+-1"},
                                                {"-relaunchedAfter", "0x10"},
                                                {"--relaunchedAfter", "1"},
                                                {"-relaunchedAfter", " 5"}}) {
        EXPECT_FALSE(relaunchedAfter(bad)) << (bad.size() > 1 ? bad[1] : "");
    }
    EXPECT_TRUE(RelaunchArguments::isRunning(static_cast<std::int32_t>(::getpid())));
}
