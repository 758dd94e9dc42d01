#include "app/OverlayGeometry.h"
#include "app/OverlayWindow.h"
#include "app/TranscriptionOverlayController.h"
#include "core/VirtualScheduler.h"
#include "locale/L10n.h"

#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QSlider>
#include <gtest/gtest.h>

#include <filesystem>

using namespace ambrel;
using OverlayGeometry::Handle;

TEST(OverlayGeometryTest, PlacesResizesAndRemembersTheFrame) {
    EXPECT_EQ(OverlayGeometry::defaultFrame(QRect(0, 0, 1920, 1080)), QRect(580, 932, 760, 88));
    EXPECT_EQ(OverlayGeometry::defaultFrame(std::nullopt), QRect(340, 752, 760, 88));

    const std::vector<QRect> screens{QRect(0, 0, 1920, 1080)};
    EXPECT_TRUE(OverlayGeometry::isOnScreen(QRect(1840, 1040, 760, 88), screens)); // 80 × 40
    EXPECT_FALSE(OverlayGeometry::isOnScreen(QRect(1841, 1040, 760, 88), screens));
    EXPECT_FALSE(OverlayGeometry::isOnScreen(QRect(2500, 300, 760, 88), screens)); // gone screen

    const QSize size(760, 88);
    EXPECT_EQ(OverlayGeometry::handleAt({2, 40}, size), Handle::left);
    EXPECT_EQ(OverlayGeometry::handleAt({5, 5}, size), Handle::topLeft);
    EXPECT_EQ(OverlayGeometry::handleAt({755, 85}, size), Handle::bottomRight);
    EXPECT_EQ(OverlayGeometry::handleAt({380, 2}, size), Handle::top);
    EXPECT_FALSE(OverlayGeometry::handleAt({380, 44}, size));

    const QRect start(100, 500, 760, 88);
    const QSize minimum(320, 80);
    // Far to the right from the top-left corner: the minimum width, the right edge stays.
    const auto narrowed = OverlayGeometry::resized(Handle::topLeft, start, {600, -20}, minimum);
    EXPECT_EQ(narrowed.width(), 320);
    EXPECT_EQ(narrowed.right(), start.right());
    EXPECT_EQ(narrowed.bottom(), start.bottom());
    EXPECT_EQ(narrowed.height(), 108);
    EXPECT_EQ(OverlayGeometry::resized(Handle::bottomRight, start, {40, -30}, minimum),
              QRect(100, 500, 800, 80));

    EXPECT_EQ(OverlayGeometry::decode(OverlayGeometry::encode(start)), start);
    EXPECT_FALSE(OverlayGeometry::decode("1,2,3"));
    EXPECT_FALSE(OverlayGeometry::decode("1,2,0,5"));
    EXPECT_FALSE(OverlayGeometry::decode("1,2,3,4x"));
}

TEST(OverlayWindowTest, ShowsTheNewestLinesThatFitAndCutLongOnesAtTheirHead) {
    EXPECT_EQ(OverlayWindow::visibleLines({30, 30, 30, 30}, 140, 6), 4u);
    EXPECT_EQ(OverlayWindow::visibleLines({30, 30, 60, 60}, 130, 6), 2u);
    EXPECT_EQ(OverlayWindow::visibleLines({30, 60, 60, 60}, 100, 6), 1u);
    EXPECT_EQ(OverlayWindow::visibleLines({}, 100, 6), 0u);

    const auto fitsIn = [](int length) {
        return [length](const QString& text) { return text.size() <= length; };
    };
    EXPECT_EQ(OverlayWindow::elideHead("short", fitsIn(10)), "short");
    EXPECT_EQ(OverlayWindow::elideHead("the words that came first", fitsIn(11)), "…came first");
    // Whole words only: "…ame first" would fit too.
    EXPECT_EQ(OverlayWindow::elideHead("the words that came first", fitsIn(10)), "…first");
    EXPECT_EQ(OverlayWindow::elideHead("we'll go, won't we?", fitsIn(12)), "…won't we?");
    // One word too long for any room stays whole (it wraps); so does the last one.
    EXPECT_EQ(OverlayWindow::elideHead("Donaudampfschifffahrt", fitsIn(5)),
              "Donaudampfschifffahrt");
    EXPECT_EQ(OverlayWindow::elideHead("a Donaudampfschifffahrt", fitsIn(5)),
              "…Donaudampfschifffahrt");
    EXPECT_EQ(OverlayWindow::elideHead(QString::fromUtf8("caf\u00e9 cre\u0300me br\u00fbl\u00e9e"),
                                       fitsIn(8)),
              QString::fromUtf8("…br\u00fbl\u00e9e"));

    // The rows a line may take follow the window's height, two at least.
    EXPECT_EQ(OverlayWindow::rowLimit(60, 30), 2);
    EXPECT_EQ(OverlayWindow::rowLimit(20, 30), 2);
    EXPECT_EQ(OverlayWindow::rowLimit(185, 30), 6);
    EXPECT_EQ(OverlayWindow::rowLimit(185, 0), 2);
}

namespace {

// Bands of rows that hold bright (text) pixels, top to bottom.
int textRows(const QImage& image) {
    int bands = 0;
    bool inBand = false;
    for (int y = 0; y < image.height(); ++y) {
        bool bright = false;
        for (int x = 0; x < image.width() && !bright; ++x) {
            bright = qGray(image.pixel(x, y)) > 160;
        }
        bands += bright && !inBand ? 1 : 0;
        inBand = bright;
    }
    return bands;
}

} // namespace

TEST(OverlayWindowTest, ATallerWindowShowsMoreOfTheCurrentWords) {
    L10n::configure(std::make_shared<core::MemorySettingsStore>(), {"en"});
    std::string words;
    for (int i = 0; words.size() < 600; ++i) {
        words += (i ? " " : "") + std::string("word") + std::to_string(i);
    }
    OverlayWindow window;
    window.setText({{{core::SpeechSource::systemAudio, words, false}}, false});
    std::filesystem::create_directories(AMBREL_SCREENSHOTS);
    int previous = 0;
    for (const int height : {88, 160, 260}) {
        window.resize(760, height);
        const QImage image = window.grab().toImage();
        image.save(QString::fromStdString(std::string(AMBREL_SCREENSHOTS) + "/overlay-" +
                                          std::to_string(height) + ".png"));
        const int rows = textRows(image);
        EXPECT_GE(rows, std::max(2, previous + 1)) << "at " << height << " pixels";
        previous = rows;
    }
}

namespace {

class OverlayControllerTest : public ::testing::Test {
protected:
    OverlayControllerTest() {
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

TEST_F(OverlayControllerTest, FadesAfterEightQuietSecondsAndComesBackWithNewWords) {
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

TEST_F(OverlayControllerTest, StyleComesFromTheSettingsWithinTheirLimits) {
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
