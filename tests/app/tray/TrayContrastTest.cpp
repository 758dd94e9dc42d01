#include "app/desktop/MenuIcons.h"
#include "app/tray/MenuBarIconPainter.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QPalette>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace ambrel;

namespace {

double luminance(const QColor& colour) {
    const auto channel = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
           0.0722 * channel(colour.blueF());
}

double contrast(const QColor& a, const QColor& b) {
    const double first = luminance(a), second = luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

// The share of an image's solid pixels that stand out from `background` by 3:1.
double shareStandingOut(const QImage& image, const QColor& background) {
    int solid = 0, standing = 0;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QColor pixel = argb.pixelColor(x, y);
            if (pixel.alphaF() >= 0.9) {
                ++solid;
                standing += contrast(pixel, background) >= 3.0 ? 1 : 0;
            }
        }
    }
    return solid == 0 ? 0 : static_cast<double>(standing) / solid;
}

// How the opaque body of an image stands out from `background`: the median over its solid
// pixels, so that a thin rim of another colour neither helps nor hurts.
double bodyContrast(const QImage& image, const QColor& background) {
    std::vector<double> ratios;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QColor pixel = argb.pixelColor(x, y);
            if (pixel.alphaF() >= 0.9) {
                ratios.push_back(contrast(pixel, background));
            }
        }
    }
    if (ratios.empty()) {
        return 0;
    }
    std::nth_element(ratios.begin(), ratios.begin() + ratios.size() / 2, ratios.end());
    return ratios[ratios.size() / 2];
}

void usePalette(const QColor& window, const QColor& text) {
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::Base, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Text, text);
    QApplication::setPalette(palette);
}

} // namespace

TEST(TrayContrastTest, TrayIconsStandOutFromLightAndDarkPanels) {
    using State = MenuBarIcon::State;
    const QColor light(0xf5, 0xf5, 0xf5), dark(0x30, 0x30, 0x30), mid(0x80, 0x80, 0x80);
    EXPECT_EQ(MenuBarIconPainter::toneFor(light), MenuBarIconPainter::Tone::dark);
    EXPECT_EQ(MenuBarIconPainter::toneFor(dark), MenuBarIconPainter::Tone::light);
    for (const auto state :
         {State::idle, State::listening, State::paused, State::downloading, State::error}) {
        for (const QColor& panel : {light, dark, mid}) {
            const auto tone = MenuBarIconPainter::toneFor(panel);
            const QImage image = MenuBarIconPainter::image(state, 22, tone);
            EXPECT_GE(bodyContrast(image, panel), 3.0)
                << "state " << static_cast<int>(state) << " on " << panel.name().toStdString();
            // For a panel nobody can see: the body or the whole rim reads.
            const QImage either =
                MenuBarIconPainter::image(state, 22, MenuBarIconPainter::Tone::either);
            EXPECT_GE(shareStandingOut(either, panel), 0.25)
                << "state " << static_cast<int>(state) << " on " << panel.name().toStdString();
        }
    }
}

TEST(TrayContrastTest, MenuStatusDotsStandOutFromLightAndDarkMenus) {
    const QPalette original = QApplication::palette();
    struct Menu {
        QColor window, text;
    };
    for (const Menu& menu : {Menu{QColor(0xff, 0xff, 0xff), QColor(Qt::black)},
                             Menu{QColor(0xef, 0xef, 0xef), QColor(0x20, 0x20, 0x20)},
                             Menu{QColor(0x2d, 0x2d, 0x2d), QColor(Qt::white)},
                             Menu{QColor(0x35, 0x35, 0x35), QColor(0xee, 0xee, 0xee)}}) {
        usePalette(menu.window, menu.text);
        for (const char* dot :
             {"dot:green", "dot:red", "dot:yellow", "dot:orange", "dot:grey", "red:stop-circle"}) {
            const QImage image = MenuIcons::icon(dot).pixmap(16, 16).toImage();
            EXPECT_GE(bodyContrast(image, menu.window), 3.0)
                << dot << " on " << menu.window.name().toStdString();
        }
    }
    QApplication::setPalette(original);
}
