#include "app/desktop/LaunchAtLogin.h"

#include "ScopedEnvironment.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

using namespace ambrel;
using ambrel::testing::ScopedEnvironment;
using ambrel::testing::TemporaryFolder;

TEST(LaunchAtLoginTest, WritesAndRemovesTheAutostartEntry) {
    TemporaryFolder config;
    ScopedEnvironment variable("XDG_CONFIG_HOME", config.path().string());
    EXPECT_FALSE(LaunchAtLogin::isEnabled());
    LaunchAtLogin::setEnabled(true, "/opt/My Apps/bin/ambrel");
    ASSERT_TRUE(LaunchAtLogin::isEnabled());
    const std::string entry = config.read("autostart/org.ambrel.Ambrel.desktop");
    EXPECT_NE(entry.find("[Desktop Entry]\nType=Application\n"), std::string::npos);
    EXPECT_NE(entry.find("\nExec=\"/opt/My Apps/bin/ambrel\"\n"), std::string::npos);
    LaunchAtLogin::setEnabled(false, "/opt/My Apps/bin/ambrel");
    EXPECT_FALSE(LaunchAtLogin::isEnabled());

    // Field codes and the two levels of escaping: "%" doubled, each quoting backslash doubled.
    LaunchAtLogin::setEnabled(true, R"(/opt/50% $off/a\b"c)");
    EXPECT_NE(config.read("autostart/org.ambrel.Ambrel.desktop")
                  .find(R"(Exec="/opt/50%% \\$off/a\\\\b\\"c")"
                        "\n"),
              std::string::npos);

    // A file where the autostart folder should be: the reason comes back.
    std::filesystem::remove_all(config.path() / "autostart");
    config.write("autostart", "");
    EXPECT_THROW(LaunchAtLogin::setEnabled(true, "/usr/bin/ambrel"), std::exception);
}
