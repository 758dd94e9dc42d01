#include "app/tray/StatusItemController.h"

#include "EngineHarness.h"
#include "app/SessionsFolder.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <gtest/gtest.h>

using namespace ambrel;
using ambrel::testing::EngineHarness;
using Strings = std::vector<std::string>;

namespace {

Strings shown(const QMenu& menu) {
    Strings texts;
    for (const QAction* action : menu.actions()) {
        texts.push_back(action->isSeparator() ? "---" : action->text().toStdString());
    }
    return texts;
}

QAction* action(const QMenu& menu, const QString& text) {
    for (QAction* candidate : menu.actions()) {
        if (candidate->text().startsWith(text)) {
            return candidate;
        }
    }
    return nullptr;
}

class StatusItemControllerTest : public ::testing::Test {
protected:
    StatusItemControllerTest() {
        SpeechOptions both;
        both.microphone = true;
        engine.make(both);
        StatusItemController::Actions actions;
        actions.setTranscriptionOn = [this](bool on) {
            on ? engine.engine->startListening() : engine.engine->stopListening();
        };
        actions.setOptions = [this](const SpeechOptions& options) {
            engine.engine->setOptions(options);
        };
        actions.quit = [] {};
        controller = std::make_unique<StatusItemController>(
            engine.engine, settings, folder, engine.scheduler, actions, [this] {
                ++deviceQueries;
                return std::vector<core::InputDeviceInfo>{};
            });
        engine.engine->onStatusChange = [this](const TranscriptionStatus& status) {
            controller->update(status);
        };
    }

    void open() { emit controller->menu().aboutToShow(); }
    void close() { emit controller->menu().aboutToHide(); }

    EngineHarness engine;
    AppSettings settings{std::make_shared<core::MemorySettingsStore>()};
    SessionsFolder folder{settings, [](const auto&, const auto&) { return std::nullopt; },
                          [](const auto&, const auto&) {}};
    std::unique_ptr<StatusItemController> controller;
    int deviceQueries = 0;
};

} // namespace

TEST_F(StatusItemControllerTest, TheOpenMenuFollowsTheEngineAndItsClock) {
    EXPECT_EQ(controller->trayIcon().toolTip().toStdString(), "Ambrel\nTranscription off");
    open();
    EXPECT_EQ(shown(controller->menu()).front(), "Start Transcription");
    ASSERT_NE(action(controller->menu(), "Quit"), nullptr);
    EXPECT_EQ(action(controller->menu(), "Quit")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));

    // Starting from the menu: the open menu gains the status line and Stop.
    action(controller->menu(), "Start Transcription")->trigger();
    engine.settle();
    EXPECT_EQ(shown(controller->menu())[0], "Listening · English · waiting for speech");
    EXPECT_EQ(shown(controller->menu())[2], "Stop Transcription");
    EXPECT_EQ(controller->trayIcon().toolTip().toStdString(),
              "Ambrel\nListening · English · waiting for speech");

    engine.system()->sendFinal("hello", engine.scheduler.now());
    EXPECT_EQ(shown(controller->menu())[0], "Listening · English · 1 line · 0:00");
    engine.advance(2);
    EXPECT_EQ(shown(controller->menu())[0], "Listening · English · 1 line · 0:02");
    EXPECT_EQ(deviceQueries, 1) << "the sound server is asked once per opening";
    close();
    engine.advance(5); // closed: the clock stops
    EXPECT_EQ(shown(controller->menu())[0], "Listening · English · 1 line · 0:02");

    // Rows whose state changes are updated in place.
    open();
    QAction* systemAudio = action(controller->menu(), "System Audio");
    ASSERT_NE(systemAudio, nullptr);
    systemAudio->trigger();
    engine.settle();
    EXPECT_EQ(systemAudio->text(), "System Audio — Off");
    EXPECT_EQ(action(controller->menu(), "System Audio"), systemAudio);

    // A warning joins the tooltip as its third line.
    engine.microphone()->handlers.onInterruption("Server gone");
    EXPECT_EQ(controller->trayIcon().toolTip().toStdString(),
              "Ambrel\nListening · English · 1 line · 0:07\nMicrophone failed: Server gone");
}
