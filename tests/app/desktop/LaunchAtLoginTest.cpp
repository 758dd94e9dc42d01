#include "app/desktop/LaunchAtLogin.h"

#include "ScopedEnvironment.h"
#include "Subprocess.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

using namespace ambrel;
using ambrel::testing::ScopedEnvironment;
using ambrel::testing::Subprocess;
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

    // Field codes and the two levels of escaping: "%" doubled, each quoting backslash doubled;
    // a path with "%" is started through env, since GLib would not find it.
    LaunchAtLogin::setEnabled(true, R"(/opt/50% $off/a\b"c)");
    EXPECT_NE(config.read("autostart/org.ambrel.Ambrel.desktop")
                  .find(R"(Exec=env "/opt/50%% \\$off/a\\\\b\\"c")"
                        "\n"),
              std::string::npos);

    // A file where the autostart folder should be: the reason comes back.
    std::filesystem::remove_all(config.path() / "autostart");
    config.write("autostart", "");
    EXPECT_THROW(LaunchAtLogin::setEnabled(true, "/usr/bin/ambrel"), std::exception);
}

TEST(LaunchAtLoginTest, GLibStartsTheVeryProgramWhateverItsPathHolds) {
    TemporaryFolder folder;
    ScopedEnvironment variable("XDG_CONFIG_HOME", (folder / "config").string());
    const auto record = folder / "started";
    ScopedEnvironment recordVariable("AMBREL_RECORD", record.string());
    const std::vector<std::string> hostile = {
        R"(it's "quoted" \"twice\")",
        R"(back\slash\\ \n\t\s end\)",
        "$HOME ${PATH} `id` $(id)",
        "semi;colon #hash [Group] key=value",
        " leading and trailing ",
        "line\nbreak\ttab\rreturn",
        "Caf\u00e9 \u2013 \u65e5\u672c\u8a9e",
        "My Apps/50% off",
        "My Apps/50% off/%f %U %%",
    };
    for (const auto& name : hostile) {
        SCOPED_TRACE(name);
        const auto program = folder / "apps" / name / "ambrel";
        std::filesystem::create_directories(program.parent_path());
        {
            std::ofstream script(program);
            script << "#!/bin/sh\nprintf '%s' \"$0\" > \"$AMBREL_RECORD\"\n";
        }
        std::filesystem::permissions(program, std::filesystem::perms::owner_all);
        std::filesystem::remove(record);

        LaunchAtLogin::setEnabled(true, program);
        Subprocess launch({AMBREL_DESKTOP_ENTRY_LAUNCHER, LaunchAtLogin::entryPath().string()});
        ASSERT_EQ(launch.wait(), 0) << launch.errors();
        std::ifstream in(record, std::ios::binary);
        const std::string started{std::istreambuf_iterator<char>(in), {}};
        EXPECT_EQ(started, program.string());
    }
}
