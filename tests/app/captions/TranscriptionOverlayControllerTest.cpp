#include "app/captions/TranscriptionOverlayController.h"

#include "app/captions/OverlayWindow.h"
#include "core/VirtualScheduler.h"
#include "locale/L10n.h"

#include <QApplication>
#include <QMenu>
#include <QSlider>
#include <gtest/gtest.h>

#include <filesystem>

using namespace ambrel;

namespace {

class TranscriptionOverlayControllerTest : public ::testing::Test {
protected:
    TranscriptionOverlayControllerTest() {
        L10n::configure(std::make_shared<core::MemorySettingsStore>(), {"en"});
    }

    LiveTranscriptText words(const std::string& text) {
        return LiveTranscriptText{{{core::SpeechSource::systemAudio, text, false}}, false};
    }

    core::VirtualScheduler scheduler;
    std::shared_ptr<core::MemorySettingsStore> store =
        std::make_shared<core::MemorySettingsStore>();
    AppSettings settings{store};
    int hidden = 0;
    TranscriptionOverlayController overlay{settings, scheduler, [this] { ++hidden; }};
};

} // namespace

TEST_F(TranscriptionOverlayControllerTest, FadesAfterEightQuietSecondsAndComesBackWithNewWords) {
    overlay.setVisible(true);
    ASSERT_NE(overlay.window(), nullptr);
    EXPECT_TRUE(overlay.window()->isVisible());
    overlay.update(words("Hello"));
    scheduler.advance(5);
    overlay.update(words("Hello")); // the same words do not keep it up
    scheduler.advance(3);
    EXPECT_TRUE(overlay.isFaded());
    EXPECT_TRUE(overlay.window()->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(overlay.opacityTarget(), 0.0);
    // Words while the fade still runs: it must not finish invisible over clickable captions.
    overlay.update(words("Hello there"));
    EXPECT_FALSE(overlay.isFaded());
    EXPECT_FALSE(overlay.window()->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(overlay.opacityTarget(), 1.0);
    scheduler.advance(7.9);
    EXPECT_FALSE(overlay.isFaded());
    scheduler.advance(0.1);
    EXPECT_TRUE(overlay.isFaded());

    overlay.setVisible(false);
    EXPECT_FALSE(overlay.window()->isVisible());
    EXPECT_TRUE(overlay.window()->text().lines.empty());
}

TEST_F(TranscriptionOverlayControllerTest, StyleComesFromTheSettingsWithinTheirLimits) {
    store->setValue(AppSettings::Keys::overlayTransparency, 0.9);
    store->setValue(AppSettings::Keys::overlayContrast, std::string("high"));
    overlay.styleChanged(); // a preview while the captions are off
    ASSERT_NE(overlay.window(), nullptr);
    EXPECT_EQ(overlay.window()->style().transparency, 0.5);
    EXPECT_EQ(overlay.window()->style().contrast, 0.5);
    EXPECT_TRUE(overlay.window()->isVisible());
    // Turning the captions on and off again cancels the preview's end.
    overlay.setVisible(true);
    overlay.setVisible(false);
    overlay.styleChanged();
    scheduler.advance(2.9);
    EXPECT_TRUE(overlay.window()->isVisible());
    scheduler.advance(0.1);
    EXPECT_FALSE(overlay.window()->isVisible());

    // The style popup's sliders show the style, and follow it when it is restored elsewhere.
    overlay.showStyleEditor();
    QList<QSlider*> sliders;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && !window->findChildren<QSlider*>().isEmpty()) {
            sliders = window->findChildren<QSlider*>();
        }
    }
    ASSERT_EQ(sliders.size(), 2);
    EXPECT_EQ(sliders[0]->value(), 50);

    // The captions' own menu: Restore Default Style only when there is a style to undo.
    std::unique_ptr<QMenu> menu(overlay.window()->makeMenu());
    const auto actions = menu->actions();
    ASSERT_GE(actions.size(), 4);
    EXPECT_EQ(actions[0]->text().toStdString(), "Hide Floating Transcription");
    EXPECT_TRUE(actions[3]->isEnabled());
    actions[3]->trigger();
    EXPECT_FALSE(store->value(AppSettings::Keys::overlayTransparency));
    EXPECT_EQ(sliders[0]->value(), 10);
    EXPECT_EQ(sliders[1]->value(), 50);
    std::unique_ptr<QMenu> again(overlay.window()->makeMenu());
    EXPECT_FALSE(again->actions()[3]->isEnabled());
    again->actions()[0]->trigger();
    EXPECT_EQ(hidden, 1);
}
