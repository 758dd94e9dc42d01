// Small desktop pieces: the autostart entry and the windows' standard keys.
#include "ScopedEnvironment.h"
#include "TemporaryFolder.h"
#include "app/LaunchAtLogin.h"
#include "app/MainMenu.h"
#include "app/QtLogSink.h"
#include "app/TitledWindows.h"
#include "core/Log.h"
#include "locale/L10n.h"

#include <QAction>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QWidget>
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

TEST(MainMenuTest, EveryWindowGetsTheStandardKeysOnce) {
    L10n::configure(std::make_shared<core::MemorySettingsStore>(), {"de"});
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* field = new QLineEdit(&window);
    layout->addWidget(field);
    int finds = 0;
    MainMenu::install(window, {[&] { ++finds; }, {}, {}, {}});
    MainMenu::install(window, {[&] { ++finds; }, {}, {}, {}}); // again, after a language change
    const auto actions = window.actions();
    EXPECT_EQ(actions.size(), 13);
    const auto named = [&](const QKeySequence& keys) -> QAction* {
        for (QAction* action : actions) {
            if (action->shortcut() == keys) {
                return action;
            }
        }
        return nullptr;
    };
    ASSERT_NE(named(QKeySequence::Find), nullptr);
    EXPECT_EQ(named(QKeySequence::Copy)->text(), "Kopieren");
    named(QKeySequence::Find)->trigger();
    EXPECT_EQ(finds, 1);

    window.show();
    field->setText("some words");
    field->setFocus();
    field->deselect();
    named(QKeySequence::SelectAll)->trigger();
    EXPECT_EQ(field->selectedText(), "some words");
    named(QKeySequence::Close)->trigger();
    EXPECT_FALSE(window.isVisible());
    L10n::configure(std::make_shared<core::MemorySettingsStore>(), {"en"});
}

TEST(TitledWindowsTest, OnlyWindowsWithATitleBarCount) {
    QWidget captions(nullptr, Qt::Window | Qt::FramelessWindowHint);
    captions.show();
    EXPECT_FALSE(TitledWindows::anyShown());
    QWidget history;
    history.show();
    EXPECT_TRUE(TitledWindows::anyShown());
    history.hide();
    EXPECT_FALSE(TitledWindows::anyShown());
}

namespace {
std::vector<std::pair<std::string, QtMsgType>> qtMessages;
} // namespace

TEST(QtLogSinkTest, TheLogGoesToTheAppsCategories) {
    QtLogSink::install();
    const auto previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString&) {
            qtMessages.emplace_back(context.category, type);
        });
    core::Log::audio().debug("routine detail");
    core::Log::audio().notice("Recording microphone");
    core::Log::transcript().error("Could not save");
    qInstallMessageHandler(previous);
    core::Log::setSink({});
    EXPECT_EQ(qtMessages, (std::vector<std::pair<std::string, QtMsgType>>{
                              {"org.ambrel.Ambrel.audio", QtInfoMsg},
                              {"org.ambrel.Ambrel.transcript", QtWarningMsg}}));
}
