#include "app/captions/OverlayGeometry.h"

#include "core/VirtualScheduler.h"
#include "locale/L10n.h"

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
