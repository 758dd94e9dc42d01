#include "app/captions/OverlayWindow.h"

#include "app/captions/OverlayGeometry.h"
#include "core/VirtualScheduler.h"
#include "locale/L10n.h"

#include <QImage>
#include <gtest/gtest.h>

#include <filesystem>

using namespace ambrel;

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
